#include "link/Trace.h"

#include "link/DeviceLink.h"

#include <mutex>

std::string FormatTraceLine(const TraceFrame& frame, std::chrono::steady_clock::time_point origin) {
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(frame.time - origin).count();
    char head[48];
    const char dir = frame.direction == TraceDirection::Sent ? '>' : frame.direction == TraceDirection::Received ? '<' : '!';
    std::snprintf(head, sizeof head, "%5lld.%06lld %c ", us / 1000000, (us < 0 ? -us : us) % 1000000, dir);
    std::string line = head;
    const int prefix = frame.len < 2 ? frame.len : 2;
    line += EscapeBytes(frame.bytes, prefix);
    if (frame.len > 2) line += ' ' + EscapeBytes(frame.bytes + 2, frame.len - 2);  // the node prefix stands apart
    if (frame.direction == TraceDirection::NotSent) line += " (not sent: error " + std::to_string(frame.error) + ")";
    return line;
}

std::string EscapeBytes(const unsigned char* bytes, int len) {
    std::string out;
    for (int i = 0; i < len; ++i) {
        const unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        }
    }
    return out;
}

namespace {
std::mutex g_traceMutex;  // one line at a time; guards the two below
std::FILE* g_traceOut = nullptr;
std::chrono::steady_clock::time_point g_traceOrigin;

void WriteTraceLine(const TraceFrame& frame) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (!g_traceOut) return;
    const std::string line = FormatTraceLine(frame, g_traceOrigin);
    std::fprintf(g_traceOut, "%s\n", line.c_str());
    std::fflush(g_traceOut);
}
}  // namespace

void StartTrace(std::FILE* out) {
    {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        g_traceOut = out;
        g_traceOrigin = std::chrono::steady_clock::now();
    }
    theLink.SetTraceHook(&WriteTraceLine);
}

void StopTrace() {
    theLink.SetTraceHook(nullptr);
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_traceOut = nullptr;
}
