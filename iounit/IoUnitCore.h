// What the I/O unit window does without the toolkit: which pages a model
// has and in which order they are read, validated and written; the settings
// read; the reply handler with its routing tables; the write of every page;
// the reset command after a successful write.
#pragma once

#include <string>
#include <vector>

#include "iounit/AnalogOutputCore.h"
#include "iounit/DigitalInputCore.h"
#include "iounit/DigitalOutputCore.h"

// The pages, in the one order of reading, validating and writing.
enum class IoUnitPage { DigitalInput, AnalogInput, DigitalOutput, AnalogOutput };

// The pages of a model (from its ModelChannelTable row), in page order.
std::vector<IoUnitPage> IoUnitPages(int modelCode);

// The settings read, on the GUI thread with IoUnitReplyHandler installed:
// "GJ" when the target is direct, then each page's reads in page order.
// 0, or -1 at the first failed send or time-out.
int ReadIoUnitSettings();

// The reply handler installed while the I/O unit window is read and open
// (receive thread). Routes every answer of the unit to the parser of the page
// that owns it, by letters, length and, for "mr", the echoed address; returns
// non-zero when the answer counts as awaited. Counted answers of a wrong
// length, and answers for a page the model lacks, are dropped unparsed; an
// "mr" of an unknown address is not counted.
int IoUnitReplyHandler(void* ctx, const unsigned char* reply, int len);

// The writes of every page of the connected model, in page order, from the
// records that the pages' validation filled. 0, or -1 at the first failure
// (failure->error holds that call's error code).
int WriteIoUnitPages(const SendFailedFn& onSendFailed, StepFailure* failure);

// "RSET/" and the terminator: restarts the unit with its new settings.
std::string BuildResetCommand();
// Sends the reset without waiting (no answer is awaited for "RS..."); 0 or
// negative when the link is not open or the write failed.
int SendIoUnitReset();
