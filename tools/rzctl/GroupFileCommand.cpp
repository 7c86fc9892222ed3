#include "tools/rzctl/GroupFileCommand.h"

#include "forms/WirelessTexts.h"
#include "wireless/GroupFile.h"

#include <cstdio>
#include <memory>

namespace {

const char* ModeName(int mode) {
    switch (mode) {
    case 0:
        return TXT_WG_MODE_FAST;
    case 1:
        return TXT_WG_MODE_MEDIUM;
    case 2:
        return TXT_WG_MODE_LONG;
    default:
        return "?";
    }
}

}  // namespace

int RunGroupFileShow(const std::string& path, std::ostream& out, std::ostream& err) {
    // The tool has no main window: use the process-wide cipher when there is
    // one, else a cipher of its own with the same key.
    std::unique_ptr<CGroupFileCipher> own;
    CGroupFileCipher* cipher = GroupFileCipher();
    if (!cipher) {
        own = std::make_unique<CGroupFileCipher>();
        cipher = own.get();
    }
    WirelessGroupRecord rec;
    const GroupFileResult r = LoadWirelessGroupFile(path, &rec, cipher);
    if (!r.ok) {
        err << r.message << "\n";
        return 1;
    }
    char group[16];
    std::snprintf(group, sizeof group, "%08X", static_cast<unsigned>(rec.groupNumber));
    out << "group: " << group << "\n";
    out << "channel: " << rec.channel << "\n";
    out << "mode: " << ModeName(rec.commMode) << "\n";
    out << "node: " << rec.nodeNumber << "\n";
    out << "encryption: " << (rec.encryptionEnabled ? "on" : "off") << "\n";
    return 0;
}
