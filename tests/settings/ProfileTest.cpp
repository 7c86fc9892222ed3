// Device profiles of the gateway and the serial converter: one table of
// profiles loaded as the windows load them, refused (the envelope, another
// model, every field by name and rule with the windows' own messages for the
// rules between fields) or taken (records through a profile and the forms
// back to the same commands); the comparison and text layout of profiles.
#include "forms/ProfileTexts.h"
#include "forms/SettingsTexts.h"
#include "settings/GatewayCore.h"
#include "settings/RelayProfiles.h"
#include "settings/SerialCore.h"

#include <gtest/gtest.h>

namespace {

const std::string kGateway = R"({
  "format": "rzset-device-profile",
  "version": 1,
  "model": {"name": "TQ-RZ900E", "code": 14, "ext": 0},
  "settings": {"ipAddress": "192.168.0.1", "subnetMask": "255.255.255.0", "defaultGateway": "192.168.0.254",
               "commandPort": 10003, "destNode": 5, "serialPort": 1024}
})";

// A serial converter (VM-320-RZ: code 15, extension 2) at 9600 with one end character.
const RelaySettings kSerial{.m_nDestNode = 3, .m_nFilterLow = 1, .m_nFilterHigh = 0xF7, .m_nBaudIndex = 5,
                            .m_nTimeoutIndex = 1, .m_nPacketFlags = 1, .m_nEndChar1 = 0x0D};

std::string Profile(int code, int ext, const ProfileJson& settings) {
    return ProfileText(MakeProfile(ProfileModel{code, ext}, settings));
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// A profile loaded into a device of code and ext as the windows load one:
// the envelope, the model, the kind's settings into its form with the
// window's validation; *written: the commands the window then writes. The
// refusal as shown, or "" when the profile is taken.
std::string Load(const std::string& text, int code, int ext, std::vector<std::string>* written) {
    ProfileJson doc;
    ProfileModel model;
    ProfileError error;
    GatewayFormValues gateway;
    SerialFormValues serial;
    RelaySettings rs{};
    if (!ParseProfile(text, &doc, &model, &error) || !CheckProfileModel(model, code, ext, &error) ||
        !(code == 15 ? SerialFormFromProfile(doc["settings"], &serial, &error) : GatewayFormFromProfile(doc["settings"], &gateway, &error)))
        return error.Text();
    if (const char* m = code == 15 ? ValidateSerialForm(serial, RelaySettings{}, rs) : ValidateGatewayForm(gateway, rs)) return m;
    *written = code == 15 ? std::vector<std::string>{BuildRelayCommand(rs)} : GatewayWriteCommands(rs);
    return "";
}

// Each profile loaded into a device of code and ext as the windows load
// one. Refused: the refusal's beginning as shown (with field: that settings
// field set to value, null: removed, and refused by its name and the rule).
// Taken: the commands the window then writes, a record's own profile giving
// the record's own commands.
TEST(RelayProfiles, LoadedAsTheWindowsLoadThem) {
    const RelaySettings serial{.m_nDestNode = 200, .m_nFilterMode = 2, .m_nFilterLow = 0x0A, .m_nFilterHigh = 0x20,
                               .m_nOpMode = 1, .m_nBaudIndex = 12, .m_nCharFormat = 1 | 2 | 8, .m_nFlowControl = 2,
                               .m_nTimeoutIndex = 5, .m_nPacketFlags = 2 | 8, .m_nEndChar1 = 0x0D, .m_nEndChar2 = 0x0A};
    const RelaySettings gateway{.m_nDestNode = 5, .m_dwIpAddress = AddressFromOctets(192, 168, 0, 1),
                                .m_dwSubnetMask = AddressFromOctets(255, 255, 255, 0),
                                .m_dwGateway = AddressFromOctets(192, 168, 0, 254), .m_nCommandPort = 10003, .m_nSerialPort = 1024};
    const std::vector<std::string> gatewayWrite = GatewayWriteCommands(gateway);  // bytes in SettingsCoreTest
    RelaySettings moved = serial, oddBaud = kSerial;
    moved.m_nPacketFlags = 1 | 8, moved.m_nEndChar1 = 0x0A, moved.m_nEndChar2 = 0;
    oddBaud.m_nBaudIndex = 20;  // reported outside the list: null in the profile, refused when written
    EXPECT_TRUE(SerialProfileSettings(oddBaud)["baudRate"].is_null());
    const std::string plain = Profile(15, 2, SerialProfileSettings(kSerial)), full = Profile(15, 2, SerialProfileSettings(serial));
    const struct { std::string text; int code, ext; std::string refusal; std::vector<std::string> written;
                   const char* field; ProfileJson value; } rows[] = {
        // the extension means something for code 15 only
        {kGateway, 14, 0, "", gatewayWrite}, {kGateway, 14, 3, "", gatewayWrite},
        {Profile(14, 0, GatewayProfileSettings(gateway)), 14, 0, "", gatewayWrite},
        {plain, 15, 2, "", {BuildRelayCommand(kSerial)}},
        {full, 15, 2, "", {BuildRelayCommand(serial)}},
        {Replace(full, "\"endChar1\": \"0D\"", "\"endChar1\": \"\""), 15, 2, "", {BuildRelayCommand(moved)}},  // the second moves up
        {kGateway.substr(0, 120), 14, 0, "ファイルが壊れているか途中で切れています (5行目 "},
        {"", 14, 0, "ファイルが壊れているか途中で切れています (1行目 1文字目)。"},
        {Replace(kGateway, "\"version\": 1,", "\"version\": 1, \"version\": 1,"), 14, 0, "version: ファイルが壊れている"},
        {"[1, 2]", 14, 0, MSG_PROFILE_NOT_PROFILE}, {Replace(kGateway, "rzset-device-profile", "other"), 14, 0, MSG_PROFILE_NOT_PROFILE},
        {Replace(kGateway, "\"version\": 1", "\"version\": 2"), 14, 0,
         "version: 新しい版 (2) のプロファイルです。読めるのは版 1 までです。"},
        {Replace(kGateway, "\"version\": 1", "\"version\": \"1\""), 14, 0, std::string("version: ") + MSG_FIELD_INTEGER},
        {Replace(kGateway, "\"version\": 1", "\"version\": 0"), 14, 0, std::string("version: ") + MSG_PROFILE_BAD_VERSION},
        {Replace(kGateway, "TQ-RZ900E", "RG_U"), 14, 0, std::string("model.name: ") + MSG_PROFILE_MODEL_NAME},
        {Replace(Replace(kGateway, "TQ-RZ900E", "(5)"), "\"code\": 14", "\"code\": 5"), 5, 0,
         std::string("model.code: ") + MSG_PROFILE_UNSUPPORTED},
        {Replace(kGateway, "\"ext\": 0}", "\"ext\": 0, \"uid\": 1}"), 14, 0, std::string("model.uid: ") + MSG_FIELD_UNKNOWN},
        {Replace(kGateway, "\"settings\"", "\"setting\""), 14, 0, std::string("settings: ") + MSG_FIELD_MISSING},
        // another model, or another extension of code 15
        {kGateway, 13, 0, "model: TQ-RZ900E のプロファイルです。RG_U には使えません。"},
        {Profile(15, 1, SerialProfileSettings(kSerial)), 15, 2, "model: VM-310-RZ のプロファイルです。VM-320-RZ には使えません。"},
        {kGateway, 14, 0, MSG_NETWORK_ADDRESS, {}, "ipAddress", "192.168.0.256"},
        {kGateway, 14, 0, MSG_FIELD_TEXT, {}, "subnetMask", 255},
        // 1234567: the window's 5 characters would read 12345
        {kGateway, 14, 0, MSG_PORT_RANGE, {}, "commandPort", 1023}, {kGateway, 14, 0, MSG_PORT_RANGE, {}, "commandPort", 1234567},
        {kGateway, 14, 0, MSG_PORTS_EQUAL, {}, "serialPort", 10003},     // the window's own rule between fields
        {kGateway, 14, 0, MSG_DEST_NODE_RANGE, {}, "destNode", 255}, {kGateway, 14, 0, MSG_FIELD_INTEGER, {}, "destNode", 1.5},
        {kGateway, 14, 0, MSG_FIELD_MISSING, {}, "destNode", nullptr}, {kGateway, 14, 0, MSG_FIELD_UNKNOWN, {}, "extra", 1},
        {plain, 15, 2, "次のいずれかで指定してください: 300, 600, 1200", {}, "baudRate", "9601"},
        {Profile(15, 2, SerialProfileSettings(oddBaud)), 15, 2, "settings.baudRate: "},
        {plain, 15, 2, MSG_CHAR_FORMAT_7N1, {}, "dataBits", "7bit"},
        {plain, 15, 2, MSG_FILTER_RANGE, {}, "filterLow", "F8"}, {plain, 15, 2, MSG_FILTER_RANGE, {}, "filterHigh", "00"},
        {plain, 15, 2, MSG_FIELD_HEX2, {}, "filterHigh", "1z"}, {plain, 15, 2, MSG_FIELD_HEX2_OR_EMPTY, {}, "endChar2", "100"},
        {plain, 15, 2, MSG_FIELD_BOOL, {}, "endCharEnabled", "yes"},
    };
    for (const auto& row : rows) {
        std::string text = row.text, expected = row.refusal;
        if (row.field) {
            ProfileJson doc = ProfileJson::parse(text);
            if (row.value.is_null()) doc["settings"].erase(row.field);
            else doc["settings"][row.field] = row.value;
            text = ProfileText(doc), expected = std::string("settings.") + row.field + ": " + row.refusal;
        }
        std::vector<std::string> written;
        const std::string refusal = Load(text, row.code, row.ext, &written);
        EXPECT_EQ(expected.empty() ? refusal : refusal.substr(0, expected.size()), expected) << text;
        EXPECT_EQ(written, row.written) << text;
    }
}

TEST(ProfileDocument, DifferencesAndText) {
    const auto diffs = DiffProfiles(ProfileJson::parse(R"({"x": 1, "o": {"y": "a", "z": true}})"),
                                    ProfileJson::parse(R"({"o": {"y": "b", "z": true, "w": 2}, "x": 1})"));
    ASSERT_EQ(diffs.size(), 2u);
    EXPECT_EQ(diffs[0].field + " " + diffs[0].expected + " " + diffs[0].actual, "o.y \"a\" \"b\"");
    EXPECT_EQ(diffs[1].field + " " + diffs[1].expected + " " + diffs[1].actual, "o.w (none) 2");
    // Keys in the order built, two-blank indent, UTF-8 as is.
    EXPECT_EQ(ProfileText(MakeProfile(ProfileModel{15, 2}, ProfileJson{{"parity", "偶数"}})),
              "{\n  \"format\": \"rzset-device-profile\",\n  \"version\": 1,\n  \"model\": {\n    \"name\": "
              "\"VM-320-RZ\",\n    \"code\": 15,\n    \"ext\": 2\n  },\n  \"settings\": {\n    \"parity\": "
              "\"偶数\"\n  }\n}\n");
}

}  // namespace
