#include "link/MainReplies.h"

#include "link/Catalogue.h"
#include "link/DeviceLink.h"

std::optional<NodeAnswer> ParseNodeAnswer(const unsigned char* reply, int len) {
    if (len < 7 || len > 10) return std::nullopt;
    NodeAnswer a;
    a.node = static_cast<int>(ParseHexField(reply + 2, 2));
    a.id = 0x2F - reply[4];
    a.model = reply[5] - 0x20;
    // The extension byte exists only in answers of length 8 (no signal
    // strength) and 10 (signal strength after it); at length 7 position 6 is
    // the terminator, at length 9 the first signal-strength digit.
    const bool hasExt = len == 8 || len == 10;
    a.ext = (a.model == MODEL_EXTENDED && hasExt) ? reply[6] - 0x20 : 0;
    if (len == 9 || len == 10) {
        const unsigned char* field = reply + (len - 3);
        if (field[0] != 'N') a.rssi = static_cast<int>(ParseHexField(field, 2)) - 256;
    }
    return a;
}

MainReply ParseMainReply(const unsigned char* reply, int len) {
    MainReply r;
    if (len < 3) return r;
    const unsigned char a = reply[0], b = reply[1];
    if (a == 'g' && b == 's') {
        r.kind = MainReply::UnitId;
        r.counts = true;
        if (len == 11) {
            r.parsed = true;
            r.uid = ParseHexField(reply + 2, 8);
        }
    } else if (a == 'm' && b == 'd') {
        r.kind = MainReply::ModelCode;
        r.counts = true;
        if (len == 5 || len == 6) {
            r.parsed = true;
            r.modelValue = reply[2];
            r.modelCode = reply[3] - 32;
            if (r.modelCode == MODEL_EXTENDED && len == 6) r.modelExt = reply[4] - 32;
        }
    } else if (a == 's' && b == 'n') {
        r.kind = MainReply::Node;
        r.counts = true;
        if (auto node = ParseNodeAnswer(reply, len)) {
            r.parsed = true;
            r.node = *node;
        }
    } else {
        r.kind = MainReply::Other;
    }
    return r;
}
