// Scenario text: parsing, the default scenario, and writing a scenario back
// as text (the state dump).
#include "tools/rzsim/Simulator.h"

#include "tools/rzsim/SimText.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace rzsim {

namespace {

// The same network as scenarios/demo.sim.
constexpr const char* kDefaultText = R"(# The demonstration network started by scripts/run.sh: a LAN gateway
# (TQ-RZ900E) attached to the tool, without a wireless group yet, and eight
# nodes behind it.
device 0 model 14 uid 0012ABCD
set 0 group "! FFFFFFFF01 "
set 0 relay "% 00  ! 0000 01F7"
set 0 lan "27130400 C0A80001FFFFFF00C0A800FE"
set 0 mac 0080AB123456

# TQ-130-RZ: three digital inputs, three digital outputs.
device 1 model 3 uid 00A10001 id 1 rssi B5
set 1 sk "$02000000 #"
set 1 mem.0CB 05
set 1 mem.0D0 000A000000

# VM-310-RZ: serial converter, relaying to node 1.
device 2 model 15 ext 1 uid 00A10002 id 2 rssi C4
set 2 relay "% 01  ! 0000 01F7"

# RG_U: a USB gateway heard over the air.
device 3 model 13 uid 00A10003 id 3 rssi A8

# TQ-110-RZ: five digital outputs; DO1 on at start-up, DO3 one-shot 2 s.
device 4 model 1 uid 00A10004 id 4 rssi B0
set 4 mem.0CB 01
set 4 mem.0D0 0000140000

# TQ-120-RZ: five digital inputs reporting to node 10 every 5 s; sleep after
# 1 hour, waking node 1; DI1 and DI5 extended; reset request on.
device 5 model 2 uid 00A10005 id 5 rssi AC
set 5 sk "&0A000000\x22#"
set 5 sy "&01!"
set 5 mem.0C9 11
set 5 mem.0CC 01

# TQ-140-RZ: two digital inputs, five digital outputs all on at start-up.
device 6 model 4 uid 00A10006 id 6 rssi 9E
set 6 mem.0C9 03
set 6 mem.0CB 1F

# TQ-160-RZ: three digital inputs, three analog outputs (AO1 5 V, AO2 10 mA,
# AO3 0 V; AO2's LED lit outside 0..10 mA).
device 7 model 9 uid 00A10007 id 7 rssi B8
set 7 mem.19C 0001000000
set 7 mem.1A4 FF3F0040000000000000
set 7 ak.1 "(00004000"

# TQ-150-RZ: three analog inputs, two digital outputs; notifications every
# 10 s to node 10. AI1 on ±10V lit outside -5..5 V, AI2 a K thermocouple
# (cold-junction compensation on, scaled 0.0..100.0 degC), AI3 on 0-20mA.
device 8 model 8 uid 00A10008 id 8 rssi B2
set 8 sk "'0A000000 !"
set 8 mem.100 000206040000
set 8 aj.0 "\x22 "
set 8 ak.0 "(C0003FFF"
set 8 aj.1 "& "
set 8 aj.2 "$ "

# Registration polls: twice still busy, then registered.
gq 2 2 0
)";

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into blank-separated tokens; "..." is one token with \xHH
// escapes; '#' at the start of a token begins a comment.
bool Tokenise(const std::string& line, std::vector<Token>* out, std::string* error)
{
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        Token t;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *error = "unterminated quote";
                return false;
            }
            if (!UnescapeBytes(line.substr(i + 1, end - i - 1), &t.text)) {
                *error = "bad \\x escape";
                return false;
            }
            t.quoted = true;
            i = end + 1;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
            t.text = line.substr(start, i - start);
        }
        out->push_back(t);
    }
    return true;
}

bool ParseNumber(const std::string& s, long long min, long long max, int* out)
{
    if (s.empty()) return false;
    long long v = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        std::uint32_t h = 0;
        if (!ParseHex(s.substr(2), &h)) return false;
        v = h;
    } else {
        if (s.size() > 10) return false;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
    }
    if (v < min || v > max) return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseUid(std::string s, std::uint32_t* out)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
    return ParseHex(s, out);
}

// NODE: 0..254, or "*" for every device (faults only).
bool ParseNode(const std::string& s, bool allowAll, int* out)
{
    if (allowAll && (s == "*" || s == "all")) {
        *out = -1;
        return true;
    }
    return ParseNumber(s, 0, 254, out);
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool SetField(DeviceState* d, const std::string& field, const std::string& value, std::string* error)
{
    auto needLength = [&](std::size_t n) {
        if (value.size() == n) return true;
        *error = field + " needs " + std::to_string(n) + " bytes, got " + std::to_string(value.size());
        return false;
    };
    if (field == "model") {
        if (!ParseNumber(value, 0, 255, &d->model)) return *error = "bad model", false;
    } else if (field == "ext") {
        if (!ParseNumber(value, 0, 255, &d->ext)) return *error = "bad ext", false;
    } else if (field == "id") {
        if (!ParseNumber(value, 0, 255, &d->id)) return *error = "bad id", false;
    } else if (field == "uid") {
        if (!ParseUid(value, &d->uid)) return *error = "bad uid", false;
    } else if (field == "rssi") {
        if (value == "none") d->rssi.clear();
        else if (!needLength(2)) return false;
        else d->rssi = value;
    } else if (field == "relay") {
        if (!needLength(17)) return false;
        d->relay = value;
    } else if (field == "lan") {
        if (!needLength(33)) return false;
        d->lan = value;
    } else if (field == "group") {
        if (!needLength(13)) return false;
        d->group = value;
    } else if (field == "mac") {
        if (!needLength(12)) return false;
        if (!IsHex(value)) return *error = "mac needs hex digits", false;
        d->mac = Upper(value);
    } else if (field == "lastGroupWrite") {
        d->lastGroupWrite = value;
    } else if (field == "resetCount") {
        if (!ParseNumber(value, 0, 1000000000, &d->resetCount)) return *error = "bad resetCount", false;
    } else if (field.rfind("mem.", 0) == 0) {
        const std::string addr = Upper(field.substr(4));
        if (addr.size() != 3 || !IsHex(addr)) return *error = "memory address needs 3 hex digits", false;
        if (value.size() % 2 != 0 || (!value.empty() && !IsHex(value)))
            return *error = "memory data needs pairs of hex digits", false;
        d->fields["mem." + addr] = Upper(value);
    } else if (field == "sk") {
        if (!needLength(11)) return false;
        d->fields[field] = value;
    } else if (field == "sy") {
        if (!needLength(4)) return false;
        d->fields[field] = value;
    } else if (field.size() == 4 && field[2] == '.' && field[3] >= '0' && field[3] <= '4' &&
               (field.rfind("aj", 0) == 0 || field.rfind("ak", 0) == 0 || field.rfind("tj", 0) == 0)) {
        const std::size_t n = field[1] == 'j' && field[0] == 'a' ? 2 : (field[0] == 'a' ? 9 : 11);
        if (!needLength(n)) return false;
        d->fields[field] = value;
    } else {
        *error = "unknown field " + field;
        return false;
    }
    return true;
}

DeviceState* FindDevice(Scenario* s, int node)
{
    for (DeviceState& d : s->devices)
        if (d.node == node) return &d;
    return nullptr;
}

bool ParseLine(const std::vector<Token>& t, Scenario* sc, std::string* error)
{
    const std::string& verb = t[0].text;
    if (verb == "device") {
        DeviceState d;
        if (t.size() < 4 || t[2].text != "model") return *error = "device NODE model CODE ...", false;
        if (!ParseNode(t[1].text, false, &d.node)) return *error = "bad node " + t[1].text, false;
        if (FindDevice(sc, d.node)) return *error = "device " + t[1].text + " given twice", false;
        d.uid = 0x00A10000u + static_cast<std::uint32_t>(d.node);
        if (!SetField(&d, "model", t[3].text, error)) return false;
        for (std::size_t i = 4; i < t.size(); i += 2) {
            const std::string& key = t[i].text;
            if (i + 1 >= t.size()) return *error = key + " needs a value", false;
            if (key != "ext" && key != "uid" && key != "id" && key != "rssi")
                return *error = "unknown device option " + key, false;
            if (!SetField(&d, key, t[i + 1].text, error)) return false;
        }
        sc->devices.push_back(d);
        return true;
    }
    if (verb == "set") {
        if (t.size() < 3) return *error = "set NODE FIELD VALUE", false;
        int node = 0;
        if (!ParseNode(t[1].text, false, &node)) return *error = "bad node " + t[1].text, false;
        DeviceState* d = FindDevice(sc, node);
        if (!d) return *error = "no device " + t[1].text, false;
        std::string value;
        if (t.size() == 4 && t[3].quoted) {
            value = t[3].text;
        } else {
            for (std::size_t i = 3; i < t.size(); ++i) value += (i > 3 ? " " : "") + t[i].text;
        }
        return SetField(d, t[2].text, value, error);
    }
    if (verb == "gq") {
        if (t.size() < 2) return *error = "gq needs at least one status", false;
        sc->gqStatuses.clear();
        for (std::size_t i = 1; i < t.size(); ++i) {
            int v = 0;
            if (!ParseNumber(t[i].text, 0, 0xDF, &v)) return *error = "bad status " + t[i].text, false;
            sc->gqStatuses.push_back(v);
        }
        return true;
    }
    if (verb == "fault") {
        Scenario::Fault f;
        if (t.size() >= 3 && t[1].text == "garbage") {
            std::string hex;
            for (std::size_t i = 2; i < t.size(); ++i) hex += t[i].text;
            if (hex.size() % 2 != 0 || !IsHex(hex)) return *error = "garbage needs pairs of hex digits", false;
            f.kind = "garbage";
            for (std::size_t i = 0; i < hex.size(); i += 2)
                f.bytes += static_cast<char>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1]));
            sc->faults.push_back(f);
            return true;
        }
        if (t.size() == 3 && t[1].text == "drop-after") {
            f.kind = "drop-after";
            if (!ParseNumber(t[2].text, 1, 1000000000, &f.value)) return *error = "bad frame count", false;
            sc->faults.push_back(f);
            return true;
        }
        if (t.size() < 4) return *error = "fault NODE KIND ...", false;
        if (!ParseNode(t[1].text, true, &f.node)) return *error = "bad node " + t[1].text, false;
        f.kind = t[2].text;
        if (f.kind == "unsupported") {
            if (t.size() != 4 || !ParseNumber(t[3].text, 0, 0xDF, &f.value)) return *error = "bad model code", false;
            sc->faults.push_back(f);
            return true;
        }
        f.mnemonic = Upper(t[3].text);
        if (f.kind == "noanswer" || f.kind == "badlen" || f.kind == "ignore") {
            if (t.size() != 4) return *error = f.kind + " takes one mnemonic", false;
        } else if (f.kind == "error") {
            if (f.mnemonic.rfind("GI", 0) != 0 && f.mnemonic.rfind("SP", 0) != 0)
                return *error = "error answers exist for GI and SP only", false;
            if (t.size() != 5 || !ParseNumber(t[4].text, 0, 0xFF, &f.value)) return *error = "bad error code", false;
        } else if (f.kind == "delay") {
            if (t.size() != 5 || !ParseNumber(t[4].text, 0, 600000, &f.value)) return *error = "bad delay", false;
        } else {
            *error = "unknown fault " + f.kind;
            return false;
        }
        sc->faults.push_back(f);
        return true;
    }
    *error = "unknown directive " + verb;
    return false;
}

}  // namespace

std::string EscapeBytes(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7E) {
            out += c;
        } else {
            out += "\\x";
            out += Hex(u, 2);
        }
    }
    return out;
}

std::string QuoteBytes(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7E && c != '"' && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += Hex(u, 2);
        }
    }
    return out;
}

bool UnescapeBytes(const std::string& text, std::string* out)
{
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
        const int hi = HexDigit(text[i + 2]);
        const int lo = HexDigit(text[i + 3]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return true;
}

bool ParseScenario(const std::string& text, Scenario* out, std::string* error)
{
    Scenario sc;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<Token> tokens;
        std::string why;
        if (!Tokenise(line, &tokens, &why) || (!tokens.empty() && !ParseLine(tokens, &sc, &why))) {
            if (error) *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    if (!FindDevice(&sc, 0)) {
        DeviceState gateway;
        gateway.uid = 0x00A10000u;
        sc.devices.push_back(gateway);
    }
    std::stable_sort(sc.devices.begin(), sc.devices.end(),
                     [](const DeviceState& a, const DeviceState& b) { return a.node < b.node; });
    for (DeviceState& d : sc.devices) ApplyDefaults(&d);
    *out = std::move(sc);
    return true;
}

Scenario DefaultScenario()
{
    Scenario sc;
    std::string error;
    ParseScenario(kDefaultText, &sc, &error);
    return sc;
}

std::string ScenarioText(const Scenario& sc)
{
    std::ostringstream o;
    for (const DeviceState& d : sc.devices) {
        const std::string n = std::to_string(d.node);
        o << "device " << n << " model " << d.model << " ext " << d.ext << " uid " << Hex(d.uid, 8) << " id " << d.id
          << " rssi " << (d.rssi.empty() ? std::string("none") : "\"" + QuoteBytes(d.rssi) + "\"") << "\n";
        auto set = [&](const std::string& field, const std::string& value) {
            o << "set " << n << " " << field << " \"" << QuoteBytes(value) << "\"\n";
        };
        if (!d.relay.empty()) set("relay", d.relay);
        if (!d.lan.empty()) set("lan", d.lan);
        set("mac", d.mac);
        if (!d.group.empty()) set("group", d.group);
        if (!d.lastGroupWrite.empty()) set("lastGroupWrite", d.lastGroupWrite);
        if (d.resetCount != 0) o << "set " << n << " resetCount " << d.resetCount << "\n";
        for (const auto& [field, value] : d.fields) set(field, value);
    }
    if (!sc.gqStatuses.empty()) {
        o << "gq";
        for (int s : sc.gqStatuses) o << " " << s;
        o << "\n";
    }
    for (const Scenario::Fault& f : sc.faults) {
        const std::string node = f.node < 0 ? std::string("*") : std::to_string(f.node);
        if (f.kind == "garbage") {
            o << "fault garbage ";
            for (char c : f.bytes) o << Hex(static_cast<unsigned char>(c), 2);
            o << "\n";
        } else if (f.kind == "drop-after") {
            o << "fault drop-after " << f.value << "\n";
        } else if (f.kind == "unsupported") {
            o << "fault " << node << " unsupported " << f.value << "\n";
        } else {
            // Quoted: a mnemonic may hold blanks, '#' or any byte.
            o << "fault " << node << " " << f.kind << " \"" << QuoteBytes(f.mnemonic) << "\"";
            if (f.kind == "error" || f.kind == "delay") o << " " << f.value;
            o << "\n";
        }
    }
    return o.str();
}

}  // namespace rzsim
