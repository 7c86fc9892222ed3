// rzctl: command-line client for field diagnostics and scripting. Its
// commands, options and exit statuses are described in Usage.h (rzctl --help).
#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"
#include "link/Trace.h"
#include "tools/cli/ProgramInfo.h"
#include "tools/rzctl/CtlReplies.h"
#include "tools/rzctl/GroupFileCommand.h"
#include "tools/rzctl/ProfileCommand.h"
#include "tools/rzctl/Usage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

int Usage(const std::string& why) { return ReportUsageError(std::cerr, "rzctl", why, rzctl::kUsage); }

bool ParseInt(const std::string& text, int low, int high, int* out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

std::mutex g_outMutex;
CtlIdentity g_identity;
int g_answers = 0;
enum class SearchFormat { Text, Csv, Json } g_searchFormat = SearchFormat::Text;
std::vector<NodeAnswer> g_nodes;  // the JSON format prints them at the end

int IdentifyHandler(void*, const unsigned char* reply, int len) {
    const MainReply r = ParseMainReply(reply, len);
    if (r.kind != MainReply::ModelCode && r.kind != MainReply::UnitId) return 0;
    std::lock_guard<std::mutex> lock(g_outMutex);
    TakeIdentity(r, &g_identity);
    return 1;  // a served mnemonic counts at any length
}

int SearchHandler(void*, const unsigned char* reply, int len) {
    const MainReply r = ParseMainReply(reply, len);
    if (r.kind != MainReply::Node) return 0;
    if (r.parsed) {
        std::lock_guard<std::mutex> lock(g_outMutex);
        if (g_searchFormat == SearchFormat::Text) std::cout << FormatNode(r.node) << std::endl;
        if (g_searchFormat == SearchFormat::Csv) std::cout << FormatNodeCsv(r.node) << std::endl;
        g_nodes.push_back(r.node);
        ++g_answers;
    }
    return 1;
}

int RawHandler(void*, const unsigned char* reply, int len) {
    std::lock_guard<std::mutex> lock(g_outMutex);
    // Without the terminator, which every reply carries.
    std::cout << EscapeBytes(reply, len > 0 ? len - 1 : 0) << std::endl;
    ++g_answers;
    return 1;
}

int ConnectionError(const char* what, int error) {
    std::cerr << "rzctl: " << what << ": error " << error << "\n";
    return CTL_EXIT_USAGE;
}

// Waits the given seconds while the handlers print what arrives; a lost
// link ends the wait at once. Returns the lost link's error, or 0.
int ListenFor(int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (const int lost = theLink.LostError()) return lost;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return theLink.LostError();
}

// The outcome of a command whose wait or listening ended without a result:
// a lost link is a connection error, anything else no answer in time.
int NoAnswer(int error, const std::string& what) {
    if (IsLinkLostError(error)) return ConnectionError("connection lost", error);
    std::cerr << "rzctl: " << what << "\n";
    return CTL_EXIT_NO_ANSWER;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command");
    if (args[0] == "group-file") {
        if (args.size() == 3 && args[1] == "show") return RunGroupFileShow(args[2], std::cout, std::cerr);
        return Usage("group-file takes: show FILE");
    }

    bool haveTarget = false;
    bool trace = false;
    int node = 0;
    int timeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help") {
            std::cout << rzctl::kUsage << "\n" << rzctl::kHelp;
            return CTL_EXIT_OK;
        }
        if (a == "--version") {
            std::cout << VersionText("rzctl");
            return CTL_EXIT_OK;
        }
        if (a == "--tcp" && hasValue) {
            std::string target = args[++i];
            std::string port = "10003";
            auto colon = target.rfind(':');
            if (colon != std::string::npos) {
                port = target.substr(colon + 1);
                target = target.substr(0, colon);
            }
            if (target.empty() || port.empty()) return Usage("bad --tcp target");
            theLink.m_nMode = LINK_TCP;
            theLink.m_strHost = target;
            theLink.m_strPort = port;
            haveTarget = true;
        } else if (a == "--serial" && hasValue) {
            theLink.m_nMode = LINK_SERIAL;
            theLink.m_strComPort = args[++i];
            haveTarget = true;
        } else if (a == "--node" && hasValue) {
            if (!ParseInt(args[++i], 0, 255, &node)) return Usage("--node takes 0..255");
        } else if (a == "--timeout" && hasValue) {
            if (!ParseInt(args[++i], 1, 3600, &timeoutSec)) return Usage("--timeout takes seconds (1..3600)");
        } else if (a == "--trace") {
            trace = true;
        } else if (a == "--tcp" || a == "--serial" || a == "--node" || a == "--timeout") {
            return Usage(a + " needs a value");
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            break;
        }
    }
    if (!haveTarget) return Usage("--tcp or --serial is required");
    if (i >= args.size()) return Usage("no command");
    const std::string command = args[i++];

    ReplyHandler handler = nullptr;
    int seconds = timeoutSec;
    std::string rawText;
    std::string file;  // read --output, diff and write
    bool verify = false;
    ProfileJson profile;
    ProfileModel profileModel;
    if (command == "identify" && i == args.size()) {
        handler = &IdentifyHandler;
    } else if (command == "search") {
        handler = &SearchHandler;
        for (; i + 1 < args.size(); i += 2) {
            if (args[i] == "--seconds") {
                if (!ParseInt(args[i + 1], 1, 3600, &seconds)) return Usage("--seconds takes 1..3600");
            } else if (args[i] == "--format" && (args[i + 1] == "text" || args[i + 1] == "csv" || args[i + 1] == "json")) {
                g_searchFormat = args[i + 1] == "csv" ? SearchFormat::Csv
                                 : args[i + 1] == "json" ? SearchFormat::Json : SearchFormat::Text;
            } else {
                break;
            }
        }
        if (i != args.size()) return Usage("search takes --seconds S and --format text|csv|json");
    } else if ((command == "read" || command == "diff" || command == "write") && node == 255) {
        return Usage(command + " takes one target: --node 0..254");
    } else if (command == "read" && (i == args.size() || (i + 2 == args.size() && args[i] == "--output"))) {
        if (i != args.size()) file = args[i + 1];
    } else if ((command == "diff" && i + 1 == args.size()) ||
               (command == "write" && (i + 1 == args.size() || (i + 2 == args.size() && args[i + 1] == "--verify")))) {
        file = args[i];
        verify = i + 2 == args.size();
        // The profile is checked before any connection is made.
        if (int status = LoadCtlProfile(file, &profile, &profileModel, std::cerr)) return status;
    } else if (command == "raw" && i + 1 == args.size()) {
        handler = &RawHandler;
        rawText = UnescapeText(args[i]);
        if (rawText.empty() || rawText.size() > 120 || rawText.find('\0') != std::string::npos)
            return Usage("raw takes 1..120 bytes without NUL");
    } else {
        return Usage("unknown command or arguments: " + command);
    }

    // A device error answer ("sp" with a code): its text on stderr; the write
    // that waits for it ends as failed.
    SetErrorAnswerPresenter([](const std::string& text, std::function<void()> closed) {
        std::cerr << "rzctl: " << text << "\n";
        closed();
    });
    if (trace) StartTrace(stderr);
    static int context;  // any non-null context: the handlers keep their state in globals
    theLink.SetReplyHandler(&context, handler);
    if (handler == &RawHandler) theLink.SetNotificationHandler(&context, &RawHandler);
    theLink.m_nTimeoutSec = timeoutSec;
    if (theLink.Open() != 0) {
        const int error = theLink.m_nError.load();
        if (theLink.m_nMode == LINK_SERIAL && error == LINK_E_NO_PERMISSION) {
            std::cerr << "rzctl: cannot open " << theLink.m_strComPort
                      << ": permission denied (add the user to the dialout group and log in again)\n";
            return CTL_EXIT_USAGE;
        }
        return ConnectionError("cannot connect", error);
    }

    int result = CTL_EXIT_OK;
    const std::string noAnswer = "no answer within " + std::to_string(timeoutSec) + " s";
    if (command == "identify") {
        theLink.m_nNode = node;
        if (theLink.SendCommand("MD\xC8") != 0 || theLink.SendCommand("GS\xC8") != 0) {
            result = ConnectionError("send failed", theLink.m_nError.load());
        } else if (theLink.WaitReplies(timeoutSec) != 1) {
            result = NoAnswer(theLink.m_nError.load(), noAnswer);
        } else {
            std::lock_guard<std::mutex> lock(g_outMutex);
            if (!g_identity.haveModel || !g_identity.haveUid) {
                std::cerr << "rzctl: the device's identification could not be read\n";
                result = CTL_EXIT_NO_ANSWER;
            } else {
                std::cout << FormatIdentity(g_identity) << std::flush;
            }
        }
    } else if (command == "read" || command == "diff" || command == "write") {
        theLink.m_nNode = node;
        if (command == "read") result = RunProfileRead(file, std::cout, std::cerr);
        else if (command == "diff") result = RunProfileDiff(profile, profileModel, std::cout, std::cerr);
        else result = RunProfileWrite(profile, profileModel, verify, std::cout, std::cerr);
    } else if (command == "search") {
        theLink.m_nNode = 255;
        if (g_searchFormat == SearchFormat::Csv) std::cout << NODE_CSV_HEADER << std::endl;
        if (theLink.SendCommand("SN\xC8") != 0) {
            result = ConnectionError("send failed", theLink.m_nError.load());
        } else {
            // Answers are printed by the handler as they arrive.
            const int lost = ListenFor(seconds);
            std::lock_guard<std::mutex> lock(g_outMutex);
            if (g_searchFormat == SearchFormat::Json) std::cout << FormatNodesJson(g_nodes) << std::flush;
            if (lost || g_answers == 0)
                result = NoAnswer(lost, "no node answered within " + std::to_string(seconds) + " s");
        }
    } else {
        theLink.m_nNode = node;
        const std::string frame = rawText + "\xC8";
        if (theLink.SendCommand(frame.c_str()) != 0) {
            result = ConnectionError("send failed", theLink.m_nError.load());
        } else {
            const int lost = ListenFor(timeoutSec);
            std::lock_guard<std::mutex> lock(g_outMutex);
            if (lost || g_answers == 0) result = NoAnswer(lost, noAnswer);
        }
    }
    theLink.Close();
    StopTrace();
    theLink.SetReplyHandler(nullptr, nullptr);
    theLink.SetNotificationHandler(nullptr, nullptr);
    return result;
}
