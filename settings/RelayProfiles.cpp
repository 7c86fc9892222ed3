#include "settings/RelayProfiles.h"

#include "forms/ProfileTexts.h"
#include "forms/SettingsTexts.h"

#include <cctype>
#include <cstring>
#include <iterator>

namespace {

// The validators return the texts themselves; a text is compared by its
// characters (the same literal may sit at other addresses in other units).
bool Is(const char* message, const char* text) { return message && std::strcmp(message, text) == 0; }

constexpr const char* kSettings = "settings";

int Count(const char* const (&items)[2]) { return static_cast<int>(std::size(items)); }
int Count(const char* const (&items)[3]) { return static_cast<int>(std::size(items)); }

bool IsHexText(const std::string& text, std::size_t minDigits) {
    if (text.size() < minDigits || text.size() > 2) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Up to two hex digits (or, when allowEmpty, nothing), as the window's
// two-character hex fields take them.
bool HexField(ProfileReader& r, const char* key, bool allowEmpty, std::string* out) {
    if (!r.Text(key, out)) return false;
    if (IsHexText(*out, allowEmpty ? 0 : 1)) return true;
    r.Fail(key, allowEmpty ? MSG_FIELD_HEX2_OR_EMPTY : MSG_FIELD_HEX2);
    return false;
}

}  // namespace

// ---------------------------------------------------------------- gateway

ProfileJson GatewayProfileSettings(const RelaySettings& rs) {
    const GatewayFormValues f = GatewayFormFromSettings(rs);
    ProfileJson s = ProfileJson::object();
    s["ipAddress"] = f.ipAddress;
    s["subnetMask"] = f.subnetMask;
    s["defaultGateway"] = f.defaultGateway;
    s["commandPort"] = ReadNumericField(f.commandPort, 5, false);
    s["destNode"] = ReadNumericField(f.destNode, 3, false);
    s["serialPort"] = ReadNumericField(f.serialPort, 5, false);
    return s;
}

bool GatewayFormFromProfile(const ProfileJson& settings, GatewayFormValues* form, ProfileError* error) {
    *error = ProfileError{};
    ProfileReader r(&settings, kSettings, error);
    GatewayFormValues f;
    int commandPort = 0, destNode = 0, serialPort = 0;
    for (auto [key, text] : {std::pair{"ipAddress", &f.ipAddress}, std::pair{"subnetMask", &f.subnetMask},
                             std::pair{"defaultGateway", &f.defaultGateway}}) {
        std::uint32_t stored = 0;
        if (r.Text(key, text) && !ParseAddress(TrimText(*text), &stored)) r.Fail(key, MSG_NETWORK_ADDRESS);
    }
    r.Int("commandPort", 1024, 65535, &commandPort, MSG_PORT_RANGE);
    r.Int("destNode", 0, 254, &destNode, MSG_DEST_NODE_RANGE);
    r.Int("serialPort", 1024, 65535, &serialPort, MSG_PORT_RANGE);
    if (!r.Finish()) return false;
    f.commandPort = std::to_string(commandPort);
    f.destNode = destNode == 0 ? std::string() : std::to_string(destNode);
    f.serialPort = std::to_string(serialPort);

    // The window's own validation, for the rules between fields.
    RelaySettings scratch{};
    if (const char* message = ValidateGatewayForm(f, scratch)) {
        r.Fail(Is(message, MSG_PORTS_EQUAL) ? "serialPort" : "commandPort", message);
        return false;
    }
    *form = f;
    return true;
}

// ---------------------------------------------------------------- serial converter

ProfileJson SerialProfileSettings(const RelaySettings& rs) {
    const SerialFormValues f = SerialFormFromSettings(rs);
    ProfileJson s = ProfileJson::object();
    s["destNode"] = ReadNumericField(f.destNode, 3, false);
    s["opMode"] = ChoiceValue(SERIAL_OP_MODES, Count(SERIAL_OP_MODES), f.opMode);
    s["baudRate"] = ChoiceValue(SERIAL_BAUD_RATES, SERIAL_BAUD_COUNT, f.baudIndex);
    s["dataBits"] = ChoiceValue(SERIAL_DATA_BITS, Count(SERIAL_DATA_BITS), f.dataBits);
    s["stopBits"] = ChoiceValue(SERIAL_STOP_BITS, Count(SERIAL_STOP_BITS), f.stopBits);
    s["parity"] = ChoiceValue(SERIAL_PARITIES, Count(SERIAL_PARITIES), f.parity);
    s["flowControl"] = ChoiceValue(SERIAL_FLOW_CONTROLS, Count(SERIAL_FLOW_CONTROLS), f.flowControl);
    s["modbusFilter"] = ChoiceValue(SERIAL_FILTERS, Count(SERIAL_FILTERS), f.filterMode);
    s["filterLow"] = f.filterLow;
    s["filterHigh"] = f.filterHigh;
    s["packetTimeout"] = ChoiceValue(SERIAL_TIMEOUTS, SERIAL_TIMEOUT_COUNT, f.timeoutIndex);
    s["endCharEnabled"] = f.endCharEnabled;
    s["endChar1"] = f.endChar1;
    s["endChar2"] = f.endChar2;
    s["extraBytes"] = ChoiceValue(SERIAL_EXTRA_BYTES, Count(SERIAL_EXTRA_BYTES), f.extraBytes);
    return s;
}

bool SerialFormFromProfile(const ProfileJson& settings, SerialFormValues* form, ProfileError* error) {
    *error = ProfileError{};
    ProfileReader r(&settings, kSettings, error);
    SerialFormValues f;
    int destNode = 0;
    r.Int("destNode", 0, 254, &destNode, MSG_DEST_NODE_RANGE);
    r.Choice("opMode", SERIAL_OP_MODES, Count(SERIAL_OP_MODES), &f.opMode);
    r.Choice("baudRate", SERIAL_BAUD_RATES, SERIAL_BAUD_COUNT, &f.baudIndex);
    r.Choice("dataBits", SERIAL_DATA_BITS, Count(SERIAL_DATA_BITS), &f.dataBits);
    r.Choice("stopBits", SERIAL_STOP_BITS, Count(SERIAL_STOP_BITS), &f.stopBits);
    r.Choice("parity", SERIAL_PARITIES, Count(SERIAL_PARITIES), &f.parity);
    r.Choice("flowControl", SERIAL_FLOW_CONTROLS, Count(SERIAL_FLOW_CONTROLS), &f.flowControl);
    r.Choice("modbusFilter", SERIAL_FILTERS, Count(SERIAL_FILTERS), &f.filterMode);
    HexField(r, "filterLow", false, &f.filterLow);
    HexField(r, "filterHigh", false, &f.filterHigh);
    r.Choice("packetTimeout", SERIAL_TIMEOUTS, SERIAL_TIMEOUT_COUNT, &f.timeoutIndex);
    r.Bool("endCharEnabled", &f.endCharEnabled);
    HexField(r, "endChar1", true, &f.endChar1);
    HexField(r, "endChar2", true, &f.endChar2);
    r.Choice("extraBytes", SERIAL_EXTRA_BYTES, Count(SERIAL_EXTRA_BYTES), &f.extraBytes);
    if (!r.Finish()) return false;
    f.destNode = destNode == 0 ? std::string() : std::to_string(destNode);

    SerialFormValues checked = f;
    RelaySettings scratch{};
    if (const char* message = ValidateSerialForm(checked, RelaySettings{}, scratch)) {
        const char* field = "filterHigh";
        if (Is(message, MSG_CHAR_FORMAT_7N1)) field = "dataBits";
        else if (Is(message, MSG_DEST_NODE_RANGE)) field = "destNode";
        else if (Is(message, MSG_FILTER_RANGE) && (scratch.m_nFilterLow < 0x01 || scratch.m_nFilterLow > 0xF7))
            field = "filterLow";
        r.Fail(field, message);
        return false;
    }
    *form = checked;  // a lone second end character has moved into the first
    return true;
}
