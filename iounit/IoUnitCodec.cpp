#include "iounit/IoUnitCodec.h"

#include <cctype>
#include <cstring>

char OffsetCharFrom(int base, int value) {
    unsigned char c = static_cast<unsigned char>((base + value) & 0xFF);
    if (c == 0 || c == REPLY_TERMINATOR) c = static_cast<unsigned char>(base);
    return static_cast<char>(c);
}

std::string HexPair(long long value) { return FormatField(value, 2, true, true); }

std::string HexQuad(long long value) { return FormatField(value & 0xFFFF, 4, true, true); }


std::string BuildMemoryRead(const char* addressAndCount) { return Terminated(std::string("MR") + addressAndCount); }

std::string BuildMemoryWrite(const char* addressAndCount, const std::string& hexData) {
    return Terminated(std::string("MW") + addressAndCount + hexData);
}

bool ParseMemoryAnswer(const unsigned char* reply, int len, const char* addressAndCount, unsigned char* bytes) {
    const int count = static_cast<int>(ParseHexField(addressAndCount + 3, 1));
    if (len != MemoryAnswerSize(count) || reply[0] != 'm' || reply[1] != 'r') return false;
    for (int i = 0; i < 4; ++i) {
        if (std::toupper(reply[2 + i]) != static_cast<unsigned char>(addressAndCount[i])) return false;
    }
    for (int i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(ParseHexField(reply + 6 + 2 * i, 2));
    return true;
}

int ListChoice(int value, int count) { return value >= 0 && value < count ? value : NO_CHOICE; }

int ChoiceOrDevice(int choice, int count, int deviceValue) {
    return choice >= 0 && choice < count ? choice : deviceValue;
}
