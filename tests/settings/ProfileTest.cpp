// Device profiles: the envelope's refusals (damaged, truncated, newer,
// another model...), the gateway's and the serial converter's settings
// (every field refused by name and rule, the windows' own messages for the
// rules between fields), the comparison, and what a profile of a device
// with values outside the lists looks like.
#include "forms/ProfileTexts.h"
#include "forms/SettingsTexts.h"
#include "settings/RelayProfiles.h"

#include <gtest/gtest.h>

namespace {

const std::string kGateway = R"({
  "format": "rzset-device-profile",
  "version": 1,
  "model": {"name": "TQ-RZ900E", "code": 14, "ext": 0},
  "settings": {"ipAddress": "192.168.0.1", "subnetMask": "255.255.255.0", "defaultGateway": "192.168.0.254",
               "commandPort": 10003, "destNode": 5, "serialPort": 1024}
})";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(ProfileDocument, EnvelopeRefusals) {
    const struct { std::string text; std::string error; } cases[] = {
        {kGateway.substr(0, 120), "ファイルが壊れているか途中で切れています (5行目 "},
        {"", "ファイルが壊れているか途中で切れています (1行目 1文字目)。"},
        {Replace(kGateway, "\"version\": 1,", "\"version\": 1, \"version\": 1,"), "version: ファイルが壊れている"},
        {"[1, 2]", MSG_PROFILE_NOT_PROFILE},
        {Replace(kGateway, "rzset-device-profile", "other"), MSG_PROFILE_NOT_PROFILE},
        {Replace(kGateway, "\"version\": 1", "\"version\": 2"), "version: 新しい版 (2) のプロファイルです。読めるのは版 1 までです。"},
        {Replace(kGateway, "\"version\": 1", "\"version\": \"1\""), std::string("version: ") + MSG_FIELD_INTEGER},
        {Replace(kGateway, "\"version\": 1", "\"version\": 0"), std::string("version: ") + MSG_PROFILE_BAD_VERSION},
        {Replace(kGateway, "TQ-RZ900E", "RG_U"), std::string("model.name: ") + MSG_PROFILE_MODEL_NAME},
        {Replace(Replace(kGateway, "TQ-RZ900E", "(5)"), "\"code\": 14", "\"code\": 5"),
         std::string("model.code: ") + MSG_PROFILE_UNSUPPORTED},
        {Replace(kGateway, "\"ext\": 0}", "\"ext\": 0, \"uid\": 1}"), std::string("model.uid: ") + MSG_FIELD_UNKNOWN},
        {Replace(kGateway, "\"settings\"", "\"setting\""), std::string("settings: ") + MSG_FIELD_MISSING},
    };
    for (const auto& c : cases) {
        ProfileJson doc;
        ProfileModel model;
        ProfileError error;
        EXPECT_FALSE(ParseProfile(c.text, &doc, &model, &error)) << c.error;
        EXPECT_EQ(error.Text().substr(0, c.error.size()), c.error) << c.text;
    }
    ProfileJson doc;
    ProfileModel model;
    ProfileError error;
    ASSERT_TRUE(ParseProfile(kGateway, &doc, &model, &error)) << error.Text();
    EXPECT_EQ(model.code, 14);
    EXPECT_TRUE(CheckProfileModel(model, 14, 3, &error));  // the extension means something for code 15 only
    EXPECT_FALSE(CheckProfileModel(model, 13, 0, &error));
    EXPECT_EQ(error.Text(), "model: TQ-RZ900E のプロファイルです。RG_U には使えません。");
    EXPECT_FALSE(CheckProfileModel(ProfileModel{15, 1}, 15, 2, &error));
}

// Each row changes one field of a valid profile; the refusal names that
// field and the rule, the windows' own message where the window has one.
TEST(RelayProfiles, FieldRefusals) {
    ProfileJson doc;
    ProfileModel model;
    ProfileError error;
    ASSERT_TRUE(ParseProfile(kGateway, &doc, &model, &error));
    const ProfileJson gateway = doc["settings"];
    const ProfileJson serial = SerialProfileSettings(RelaySettings{.m_nDestNode = 3, .m_nFilterLow = 1,
                                                                   .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5,
                                                                   .m_nTimeoutIndex = 1, .m_nPacketFlags = 1,
                                                                   .m_nEndChar1 = 0x0D});
    const struct { bool serial; const char* field; ProfileJson value; std::string error; } cases[] = {
        {false, "ipAddress", "192.168.0.256", MSG_NETWORK_ADDRESS},
        {false, "subnetMask", 255, MSG_FIELD_TEXT},
        {false, "commandPort", 1023, MSG_PORT_RANGE},
        {false, "commandPort", 1234567, MSG_PORT_RANGE},  // the window's 5 characters would read 12345
        {false, "serialPort", 10003, MSG_PORTS_EQUAL},     // the window's own rule between fields
        {false, "destNode", 255, MSG_DEST_NODE_RANGE},
        {false, "destNode", 1.5, MSG_FIELD_INTEGER},
        {false, "destNode", nullptr, MSG_FIELD_MISSING},   // removed
        {false, "extra", 1, MSG_FIELD_UNKNOWN},
        {true, "baudRate", "9601", "次のいずれかで指定してください: 300, 600, 1200"},
        {true, "baudRate", nullptr, MSG_FIELD_MISSING},
        {true, "dataBits", "7bit", MSG_CHAR_FORMAT_7N1},
        {true, "filterLow", "F8", MSG_FILTER_RANGE},
        {true, "filterHigh", "1z", MSG_FIELD_HEX2},
        {true, "filterHigh", "00", MSG_FILTER_RANGE},
        {true, "endChar2", "100", MSG_FIELD_HEX2_OR_EMPTY},
        {true, "endCharEnabled", "yes", MSG_FIELD_BOOL},
    };
    for (const auto& c : cases) {
        ProfileJson s = c.serial ? serial : gateway;
        if (c.value.is_null()) s.erase(c.field);
        else s[c.field] = c.value;
        GatewayFormValues gf;
        SerialFormValues sf;
        const bool ok = c.serial ? SerialFormFromProfile(s, &sf, &error) : GatewayFormFromProfile(s, &gf, &error);
        EXPECT_FALSE(ok) << c.field;
        EXPECT_EQ(error.field, std::string("settings.") + c.field) << c.value.dump();
        EXPECT_EQ(error.rule.substr(0, c.error.size()), c.error) << c.field << " " << c.value.dump();
    }
}

// A profile read from a record and loaded back gives the record the window
// would have written; a lone second end character moves into the first.
TEST(RelayProfiles, RecordsRoundTripThroughTheForms) {
    RelaySettings serial{.m_nDestNode = 200, .m_nFilterMode = 2, .m_nFilterLow = 0x0A, .m_nFilterHigh = 0x20,
                         .m_nOpMode = 1, .m_nBaudIndex = 12, .m_nCharFormat = 1 | 2 | 8, .m_nFlowControl = 2,
                         .m_nTimeoutIndex = 5, .m_nPacketFlags = 2 | 8, .m_nEndChar1 = 0x0D, .m_nEndChar2 = 0x0A};
    SerialFormValues form;
    ProfileError error;
    ASSERT_TRUE(SerialFormFromProfile(SerialProfileSettings(serial), &form, &error)) << error.Text();
    RelaySettings back{};
    ASSERT_EQ(ValidateSerialForm(form, RelaySettings{}, back), nullptr);
    EXPECT_EQ(BuildRelayCommand(back), BuildRelayCommand(serial));

    ProfileJson s = SerialProfileSettings(serial);
    s["endChar1"] = "";
    ASSERT_TRUE(SerialFormFromProfile(s, &form, &error));
    EXPECT_EQ(form.endChar1 + "|" + form.endChar2, "0A|");

    // The device reports a baud rate outside the list: the profile says null
    // and is refused when written, naming the field.
    serial.m_nBaudIndex = 20;
    s = SerialProfileSettings(serial);
    EXPECT_TRUE(s["baudRate"].is_null());
    EXPECT_FALSE(SerialFormFromProfile(s, &form, &error));
    EXPECT_EQ(error.field, "settings.baudRate");
}

TEST(ProfileDocument, DifferencesAndText) {
    ProfileJson a = ProfileJson::parse(R"({"x": 1, "o": {"y": "a", "z": true}})");
    ProfileJson b = ProfileJson::parse(R"({"o": {"y": "b", "z": true, "w": 2}, "x": 1})");
    const auto diffs = DiffProfiles(a, b);
    ASSERT_EQ(diffs.size(), 2u);
    EXPECT_EQ(diffs[0].field + " " + diffs[0].expected + " " + diffs[0].actual, "o.y \"a\" \"b\"");
    EXPECT_EQ(diffs[1].field + " " + diffs[1].expected + " " + diffs[1].actual, "o.w (none) 2");
    // Keys in the order built, two-blank indent, UTF-8 as is.
    const std::string text = ProfileText(MakeProfile(ProfileModel{15, 2}, ProfileJson{{"parity", "偶数"}}));
    EXPECT_EQ(text, "{\n  \"format\": \"rzset-device-profile\",\n  \"version\": 1,\n  \"model\": {\n    \"name\": "
                    "\"VM-320-RZ\",\n    \"code\": 15,\n    \"ext\": 2\n  },\n  \"settings\": {\n    \"parity\": "
                    "\"偶数\"\n  }\n}\n");
}

}  // namespace
