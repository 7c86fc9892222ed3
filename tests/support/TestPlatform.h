// What the tests need of the platform, in one small interface: connected
// stream pairs and loopback listeners for the device end of a link, timed
// reads and writes on them, and running a program for its output and exit
// status. POSIX systems and Windows (Winsock) each provide it in their own
// file.
#pragma once

#include "link/Transport.h"

#include <string>

using PeerSocket = NativeStream;
extern const PeerSocket kNoPeer;

// A serial port that does not exist, and the error number opening it gives.
extern const char* const kMissingSerialPort;
extern const int kMissingSerialPortError;

// A connected stream pair: one end for the link, one for the test's device.
bool MakeStreamPair(PeerSocket* linkEnd, PeerSocket* peerEnd);
// A listening TCP socket on 127.0.0.1 and a free port; kNoPeer on failure.
PeerSocket ListenLoopback(int* port);
// The next connection on listener, or kNoPeer after timeoutMs.
PeerSocket AcceptPeer(PeerSocket listener, int timeoutMs);

// Blocking write of all bytes; false on failure.
bool PeerSendAll(PeerSocket s, const char* data, int len);
// Writes what fits without waiting; false only on a hard error.
bool PeerSendNoWait(PeerSocket s, const char* data, int len);
// Waits up to timeoutMs for bytes, then reads what is there: > 0 bytes read,
// 0 nothing within the time, -1 closed or failed.
int PeerRecv(PeerSocket s, char* buf, int max, int timeoutMs);
void PeerClose(PeerSocket s);

// Runs a program with the given arguments (standard error discarded) and
// returns its exit status (-1 when it could not run or did not end within
// 60 s) with its standard output in *out. On Windows a relative path is taken
// from the folder of the running test program.
int RunProgram(const std::string& path, const std::string& args, std::string* out);
