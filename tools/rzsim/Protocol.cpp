// The protocol table of the simulator: what one device answers to one
// command, and how the command changes its state.
#include "tools/rzsim/Simulator.h"

#include "tools/rzsim/SimText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace rzsim {

namespace {

constexpr char kTerminator = static_cast<char>(0xC8);

bool IsGateway(int model) { return model == 13 || model == 14; }
bool IsIoUnit(int model)
{
    return (model >= 1 && model <= 4) || model == 8 || model == 9;
}
bool HasAnalogInputs(int model) { return model == 8; }
bool HasAnalogOutputs(int model) { return model == 9; }

// Whether a device of this model serves the mnemonic at all. A device that
// does not know a command stays silent, so a tool sending the wrong command
// to a model runs into its time-out instead of passing by accident.
bool Serves(int model, const std::string& mn)
{
    static const char* const kCommon[] = {"MD", "GS", "SN", "GJ", "GI", "GQ", "MR", "MW", "RSET"};
    for (const char* c : kCommon)
        if (mn == c) return true;
    if (IsGateway(model)) return mn == "SJ" || mn == "SP" || mn == "GK" || mn == "GE";
    if (model == 15) return mn == "SJ" || mn == "SP";
    if (IsIoUnit(model)) {
        if (mn == "SK" || mn == "SY" || mn == "SE" || mn == "SLEP") return true;
        if (HasAnalogInputs(model) && (mn == "AJ" || mn == "TJ" || mn == "AR" || mn == "TC" || mn == "TF"))
            return true;
        if ((HasAnalogInputs(model) || HasAnalogOutputs(model)) && (mn == "AK" || mn == "AL")) return true;
    }
    return false;
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

const Scenario::Fault* FindFault(const Scenario& scenario, int node, const std::string& kind,
                                 const std::string& command)
{
    const std::string cmd = Upper(command);
    for (const Scenario::Fault& f : scenario.faults) {
        if (f.kind != kind) continue;
        if (f.node != -1 && f.node != node) continue;
        if (!f.mnemonic.empty() && cmd.rfind(Upper(f.mnemonic), 0) != 0) continue;
        return &f;
    }
    return nullptr;
}

std::string Reply(const std::string& mnemonic, const std::string& payload = {})
{
    std::string r = mnemonic;
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r + payload + kTerminator;
}

// A channel character (space-offset, channel 0..4) or -1.
int ChannelOf(const std::string& command, std::size_t pos)
{
    if (pos >= command.size()) return -1;
    const int c = static_cast<unsigned char>(command[pos]) - 0x20;
    return (c >= 0 && c <= 4) ? c : -1;
}

std::string FieldOr(const DeviceState& s, const std::string& key, const std::string& fallback)
{
    auto it = s.fields.find(key);
    return it != s.fields.end() ? it->second : fallback;
}

std::string GroupNodeHex(const DeviceState& s)
{
    return s.group.size() == 13 ? s.group.substr(10, 2) : Hex(static_cast<unsigned>(s.node), 2);
}

// Default channel payloads of the analog pages.
const std::string kDefaultAj = "  ";          // range 0, unused byte
const std::string kDefaultAk = " 80007FFF";   // lit within -FS..+FS
const std::string kDefaultTj = " ! 000003E8"; // K, cold junction on, 0.0..100.0

std::vector<std::string> Answer(DeviceState& st, const std::string& cmd, const std::string& mn, Scenario& scenario)
{
    const std::string params = cmd.substr(mn.size());

    if (mn == "MD") {
        int model = st.model;
        if (const Scenario::Fault* f = FindFault(scenario, st.node, "unsupported", ""))
            model = f->value;
        std::string p = "1";
        p += SpaceOffset(model);
        if (model == 15) p += SpaceOffset(st.ext);
        return {Reply(mn, p)};
    }
    if (mn == "GS") return {Reply(mn, Hex(st.uid, 8))};
    if (mn == "SN") {
        std::string p = st.node != 0 ? Hex(static_cast<unsigned>(st.node), 2) : GroupNodeHex(st);
        p += static_cast<char>((0x2F - st.id) & 0xFF);
        p += SpaceOffset(st.model);
        if (st.model == 15) p += SpaceOffset(st.ext);
        p += st.rssi;
        return {Reply(mn, p)};
    }
    if (mn == "SJ") return {Reply(mn, st.relay)};
    if (mn == "SP") {
        if (const Scenario::Fault* f = FindFault(scenario, st.node, "error", cmd)) {
            std::string p(1, static_cast<char>(f->value & 0xFF));
            p += "00";
            return {Reply(mn, p)};
        }
        if (params.size() == 17) st.relay = params;
        return {Reply(mn)};
    }
    if (mn == "GK") return {Reply(mn, st.lan)};
    if (mn == "GE") {
        if (params.size() == 33) st.lan = params;
        return {Reply(mn)};
    }
    if (mn == "GJ") return {Reply(mn, st.group)};
    if (mn == "GI") {
        const std::string node = params.size() >= 12 ? params.substr(10, 2) : GroupNodeHex(st);
        if (const Scenario::Fault* f = FindFault(scenario, st.node, "error", cmd))
            return {Reply(mn, node + SpaceOffset(f->value))};
        std::uint32_t group = 0;
        // A malformed write is refused with the error form (code 1).
        if (params.size() != 85 || !ParseHex(params.substr(2, 8), &group) || !IsHex(params.substr(10, 2)))
            return {Reply(mn, node + SpaceOffset(1))};
        st.lastGroupWrite = params;
        if (node == "01") group = NewGroupNumber(st.uid);
        st.group = params.substr(0, 2) + Hex(group, 8) + node + params.substr(20, 1);
        return {Reply(mn, node + Hex(group, 8))};
    }
    if (mn == "GQ") {
        int status = 2;
        if (!scenario.gqStatuses.empty()) {
            status = scenario.gqStatuses.front();
            if (scenario.gqStatuses.size() > 1) scenario.gqStatuses.erase(scenario.gqStatuses.begin());
        }
        return {Reply(mn, SpaceOffset(status))};
    }
    if (mn == "RSET") {
        ++st.resetCount;
        return {};
    }
    if (mn == "MR" || mn == "MW") {
        // Address (three hex digits) and byte count (one hex digit).
        if (params.size() < 4 || !IsHex(params.substr(0, 4))) return {};
        const std::string addr = Upper(params.substr(0, 3));
        const std::size_t count = static_cast<std::size_t>(std::stoi(params.substr(3, 1), nullptr, 16));
        const std::string key = "mem." + addr;
        if (mn == "MR") {
            if (params.size() != 4) return {};
            std::string data = FieldOr(st, key, addr == "01A" ? st.mac : std::string());
            data.resize(count * 2, '0');
            return {Reply(mn, Upper(params) + data)};
        }
        const std::string data = params.substr(4);
        if (data.size() != count * 2 || !IsHex(data)) return {};
        st.fields[key] = Upper(data);
        return {Reply(mn, Upper(params.substr(0, 4)))};
    }
    if (mn == "SK") return {Reply(mn, st.fields["sk"])};
    if (mn == "SY") return {Reply(mn, st.fields["sy"])};
    if (mn == "SE") {
        if (params.size() == 11) st.fields["sk"] = params;
        return {Reply(mn)};
    }
    if (mn == "SLEP") {
        if (params.size() == 4) st.fields["sy"] = params;
        return {Reply("sl")};
    }
    if (mn == "AJ" || mn == "AK" || mn == "TJ") {
        const int ch = ChannelOf(cmd, 2);
        if (ch < 0 || params.size() != 1) return {};
        const std::string key = mn == "AJ" ? "aj" : (mn == "AK" ? "ak" : "tj");
        const std::string fallback = key == "aj" ? kDefaultAj : (key == "ak" ? kDefaultAk : kDefaultTj);
        return {Reply(mn, std::string(1, cmd[2]) + FieldOr(st, key + "." + std::to_string(ch), fallback))};
    }
    if (mn == "AR" || mn == "TC" || mn == "AL" || mn == "TF") {
        const int ch = ChannelOf(cmd, 2);
        if (ch < 0) return {};
        const std::string c = std::to_string(ch);
        if (mn == "AR" && params.size() == 2) {
            std::string& aj = st.fields["aj." + c];
            if (aj.size() != 2) aj = kDefaultAj;
            aj[0] = params[1];
        } else if (mn == "AL" && params.size() == 10) {
            st.fields["ak." + c] = params.substr(1);
        } else if ((mn == "TC" && params.size() == 3) || (mn == "TF" && params.size() == 10)) {
            std::string& tj = st.fields["tj." + c];
            if (tj.size() != 11) tj = kDefaultTj;
            if (mn == "TC") tj.replace(0, 2, params.substr(1, 2));
            else tj.replace(2, 9, params.substr(1, 9));
        } else {
            return {};
        }
        return {Reply(mn)};
    }
    return {};
}

}  // namespace

std::string CommandMnemonic(const std::string& command)
{
    const std::string up = Upper(command.substr(0, 4));
    if (up == "RSET" || up == "SLEP") return up;
    return Upper(command.substr(0, 2));
}

int ReplyDelayMs(const Scenario& scenario, int node, const std::string& command)
{
    const Scenario::Fault* f = FindFault(scenario, node, "delay", command);
    return f ? std::max(0, f->value) : 0;
}

std::uint32_t NewGroupNumber(std::uint32_t uid)
{
    const std::uint32_t group = uid ^ 0x5A000000u;
    return group == 0xFFFFFFFFu ? 0x5A5A5A5Au : group;
}

void ApplyDefaults(DeviceState* s)
{
    if (s->relay.empty() && (IsGateway(s->model) || s->model == 15)) s->relay = "% 00  ! 0000 01F7";
    if (s->lan.empty() && IsGateway(s->model)) s->lan = "27130400 C0A80001FFFFFF00C0A800FE";
    if (s->group.empty())
        s->group = std::string("! ") + "FFFFFFFF" + Hex(static_cast<unsigned>(s->node == 0 ? 1 : s->node), 2) + " ";
    if (IsIoUnit(s->model)) {
        s->fields.try_emplace("sk", "$01000000 #");
        s->fields.try_emplace("sy", " 00 ");
    }
}

std::vector<std::string> AnswerCommand(DeviceState& state, const std::string& command, Scenario& scenario)
{
    if (command.size() < 2) return {};
    const std::string mn = CommandMnemonic(command);
    if (!Serves(state.model, mn)) return {};
    if (FindFault(scenario, state.node, "noanswer", command)) return {};
    ApplyDefaults(&state);
    // "ignore": the command is answered as usual but changes nothing.
    const bool ignore = FindFault(scenario, state.node, "ignore", command) != nullptr;
    const DeviceState before = ignore ? state : DeviceState{};
    std::vector<std::string> replies = Answer(state, command, mn, scenario);
    if (ignore) state = before;
    if (FindFault(scenario, state.node, "badlen", command)) {
        // One byte too few: the last byte before the terminator goes.
        for (std::string& r : replies)
            if (r.size() >= 2) r.erase(r.size() - 2, 1);
    }
    return replies;
}

}  // namespace rzsim
