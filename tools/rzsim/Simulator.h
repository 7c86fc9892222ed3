// rzsim: plays RZ devices over a real pseudo-terminal and real loopback TCP.
//
// One Simulator holds one "attached" device (node prefix 00 on its pty or
// TCP connection) and, when that device is a gateway, the wireless nodes
// behind it (prefix 01..FE forwards to that node, FF to every node).
// The same object serves the command-line program (main.cpp) and the
// end-to-end tests, which run it in-process on its own threads.
//
// Routing: prefix 00 reaches the attached device. When the attached device
// is a gateway (model 13 or 14), 01..FE reach the node of that number (no
// such node: no answer) and FF reaches every node, but not the gateway
// itself; an attached device that is not a gateway answers 00 and FF only.
// Replies carry the prefix of the command, except the "00gq" notification.
//
// Scenario text (one directive a line, '#' starts a comment, numbers are
// decimal unless written 0x..; NODE is 0 for the attached device or 1..254;
// a VALUE may be written in double quotes, with \xHH for any byte, which
// keeps leading and trailing blanks; unquoted it is the rest of the line):
//   device NODE model CODE [ext N] [uid HEX8] [id N] [rssi HEX2|none]
//   set NODE FIELD VALUE        initial state field (see DeviceState)
//   gq STATUS [STATUS...]       statuses the attached device answers to GQ,
//                               one per GQ; the last one repeats
//   fault NODE noanswer MN      never answer mnemonic MN (e.g. SJ)
//   fault NODE badlen MN        answer MN with one byte too few
//   fault NODE ignore MN        acknowledge MN as usual but keep the state as
//                               it was (a write the device silently drops)
//   fault NODE error MN CODE    answer "GI"/"SP" with the 6-byte error form
//                               (MN is GI or SP) and store nothing
//   fault NODE delay MN MS      answer MN after MS milliseconds
//   fault NODE unsupported CODE answer "md" with model CODE instead
//   fault garbage HEXBYTES      send these bytes right after a connection opens
//   fault drop-after N          drop the connection (TCP close / pty hang-up)
//                               after the Nth received frame, before answering it
// NODE "*" in a fault means every device. MN is matched as a prefix of the
// command, so "MR01A" hits only that read. Without a "device 0" line the
// attached device is a USB gateway (model 13); a device without "uid" gets
// 00A100NN (NN its node number in hex).
// FIELD names and VALUE forms are listed at DeviceState.
//
// Answers: a device answers only the commands of its kind (a gateway does
// not answer "SK", an I/O unit not "SJ"; "AJ"/"TJ"/"AR"/"TC"/"TF" only
// TQ-150-RZ, "AK"/"AL" only the analog models) and stays silent on
// malformed commands and channels outside 0..4. Writes of the wrong length
// are acknowledged but change nothing, except "GI", which is refused with
// the error form, code 1. "gi" is "gi", the node number written (2 hex
// digits), the group number (8 hex digits); its error form "gi", the node
// number, code + 0x20. The "sp" error form is "sp", the code byte, "00".
// Acknowledgements are the lower-case mnemonic alone ("mw" echoes the four
// address and count characters).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzsim {

// The state of one simulated device. Fields are kept as the device would
// send them back, so a test can compare exactly what the tool wrote.
struct DeviceState {
    int node = 0;           // 0: the attached device
    int model = 13;         // model code, answered in "md"
    int ext = 0;            // extension index, for model 15
    std::uint32_t uid = 0;  // "gs"
    int id = 1;             // ID shown by the node search
    std::string rssi = "B5";  // two hex digits, or "" for none

    // Raw payloads, without mnemonic and terminator. Writes replace them.
    std::string relay;       // FIELD "relay": the 17 payload bytes of "sj"/"SP"
    std::string lan;         // FIELD "lan": the 33 payload bytes of "gk"/"GE"
    std::string mac = "0080AB123456";  // FIELD "mac": 12 hex digits
    std::string group;       // FIELD "group": the 13 payload bytes of "gj"
    std::string lastGroupWrite;  // payload of the last "GI" (85 bytes)
    int resetCount = 0;          // number of "RSET" commands received
    // I/O unit pages: FIELD "mem.ADDR" (e.g. "mem.0C9") holds the hex data of
    // a memory address (three upper-case hex digits), read by "MR" and
    // replaced by "MW"; "mem.01A" falls back to mac. FIELD "sk" (11 bytes)
    // and "sy" (4 bytes) hold the payloads of those answers ("SE" and "SLEP"
    // replace them). The channel answers are kept per channel C (0..4), the
    // payload after the channel character: "aj.C" (2 bytes), "ak.C" (9) and
    // "tj.C" (11); "AR", "AL", "TC" and "TF" change them.
    std::map<std::string, std::string> fields;
};

struct Scenario {
    std::vector<DeviceState> devices;  // devices[0] is the attached device
    std::vector<int> gqStatuses{2, 2, 0};
    struct Fault {
        int node = -1;  // -1: every device / the connection
        std::string kind;
        std::string mnemonic;
        int value = 0;
        std::string bytes;
    };
    std::vector<Fault> faults;
};

// Fills the payloads that are still empty with the defaults of the model:
// relay valid (9600 bps, filter 01-F7), LAN 10003/1024 with 192.168.0.1,
// 255.255.255.0 and 192.168.0.254, group channel 1, mode 0, group FFFFFFFF
// and node 1 (the node's own number for a remote node), I/O unit pages.
void ApplyDefaults(DeviceState* state);

// Parses scenario text; false with *error set on a bad line ("line N: ...").
// Every device gets ApplyDefaults.
bool ParseScenario(const std::string& text, Scenario* out, std::string* error);

// The default scenario: an attached LAN gateway (model 14) with nodes
// 1 (TQ-130-RZ), 2 (VM-310-RZ), 3 (RG_U), 4 (TQ-110-RZ), 5 (TQ-120-RZ),
// 6 (TQ-140-RZ), 7 (TQ-160-RZ) and 8 (TQ-150-RZ).
Scenario DefaultScenario();

class Simulator {
public:
    explicit Simulator(Scenario scenario);
    ~Simulator();  // stops everything
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Listens on host:port (port 0 picks a free one). Returns the port, or
    // -1 on failure. One connection at a time is served.
    int StartTcp(const std::string& host = "127.0.0.1", int port = 0);

    // Creates a pseudo-terminal and returns the path of its device end
    // (also linked at linkPath when that is not empty); "" on failure.
    std::string StartPty(const std::string& linkPath = "");

    void Stop();

    // Every frame received, as sent (node prefix, mnemonic, parameters;
    // without the terminator), in order. Thread-safe copy.
    std::vector<std::string> Frames() const;
    // Waits until at least n frames were received; false at the deadline.
    bool WaitForFrames(std::size_t n, std::chrono::milliseconds deadline) const;
    void ClearFrames();

    // A copy of a device's state (node 0: the attached device).
    DeviceState State(int node) const;
    // Changes the state or the faults while running.
    void SetState(const DeviceState& state);
    void SetScenario(const Scenario& scenario);

    // The state as scenario text (devices, state fields, gq statuses and
    // faults, so it loads again with ParseScenario), followed by every frame
    // received as a comment line "# frame ESCAPED".
    std::string DumpState() const;

    // Appends every received frame, escaped (EscapeBytes), one a line, to
    // the file as it arrives; "" stops logging. False when it cannot open.
    bool SetFrameLog(const std::string& path);
    // Called (on a channel thread, without locks held) after a command
    // changed a device's state.
    void SetStateChangedHandler(std::function<void()> handler);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The reply bytes (mnemonic through terminator, without node prefix) that a
// device in state answers to one command frame payload (mnemonic and
// parameters, without prefix and terminator); empty when it does not answer.
// Pure: the protocol table of the simulator, testable on its own.
// The fault kinds "error", "badlen", "noanswer" and "unsupported" act here;
// the "gq" statuses are consumed from scenario.
std::vector<std::string> AnswerCommand(DeviceState& state, const std::string& command, Scenario& scenario);

// The mnemonic of a command payload: four letters for "RSET" and "SLEP",
// else two.
std::string CommandMnemonic(const std::string& command);

// Milliseconds by which node's answer to command is held back (0: none).
int ReplyDelayMs(const Scenario& scenario, int node, const std::string& command);

// The group number that a parent's "GI" creates on a device with this uid.
std::uint32_t NewGroupNumber(std::uint32_t uid);

// Printable ASCII as is, every other byte as \xHH (upper-case digits).
std::string EscapeBytes(const std::string& bytes);

}  // namespace rzsim
