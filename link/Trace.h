// The traffic trace: every frame the link sends and every frame it receives,
// handed to one hook as it happens.
//
// Contract in brief
// - The link calls the hook for each frame sent (just before it is written,
//   so that a reply never appears before its command) and for each frame
//   received (when its terminator arrives, before any other handling, so
//   late, unasked-for and "00gq" frames are traced too). A frame whose write
//   failed is traced once more as NotSent with the error.
// - The hook runs on the sending thread or on the receive thread, possibly
//   at the same time: it must serialise its own output and must not block
//   for long or call back into the link.
// - Off (no hook) costs one atomic load per frame.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

enum class TraceDirection { Sent, Received, NotSent };

struct TraceFrame {
    std::chrono::steady_clock::time_point time;  // monotonic
    TraceDirection direction = TraceDirection::Sent;
    const unsigned char* bytes = nullptr;  // the whole frame: node prefix .. terminator
    int len = 0;
    int error = 0;  // NotSent: the write's error code
};

using TraceHook = void (*)(const TraceFrame& frame);

// One line (without newline) for a frame, its time relative to origin:
//   "   12.345678 > 01 SK\xC8"        sent to node 01
//   "   12.356001 < 01 sk$01000000 #\xC8"
//   "   12.400000 ! 01 SE...\xC8 (not sent: error 5)"
// Seconds with microseconds, right-aligned; the direction; the two-character
// node prefix as it travels (escaped like the rest); the rest of the frame
// with printable ASCII as is and every other byte, the backslash included,
// as \xHH.
std::string FormatTraceLine(const TraceFrame& frame, std::chrono::steady_clock::time_point origin);

// Bytes made readable: printable ASCII as is, every other byte (the
// backslash included) as \xHH. The trace and the command-line client's
// printed replies use it.
std::string EscapeBytes(const unsigned char* bytes, int len);

// A ready-made sink: writes each frame as one line to out (stderr, or a file
// the caller keeps open), flushed at once, lines never interleaved. Times
// count from the call. Installs the hook on theLink; replaces any other.
void StartTrace(std::FILE* out);
// Removes the hook. A frame being traced at that moment may still be
// written: close the link (or otherwise stop its traffic) before closing out.
void StopTrace();
