#include "app/PortTable.h"

#include <cstdlib>
#include <cstring>

bool PortTable::Add(PortEntry entry) {
    if (Count() >= PORT_TABLE_SIZE) return false;
    m_entries.push_back(std::move(entry));
    return true;
}

bool PortTable::AddPortFromFriendlyName(const std::string& friendlyName) {
    int number = 0;
    if (!ParseComFriendlyName(friendlyName, &number)) return false;
    PortEntry entry;
    entry.name = friendlyName;
    entry.identity = "\\\\.\\COM" + std::to_string(number);
    entry.comNumber = number;
    return Add(std::move(entry));
}

int PortTable::Find(const std::string& identity) const {
    if (identity.empty()) return -1;
    for (int i = 0; i < Count(); ++i)
        if (m_entries[i].identity == identity) return i;
    return -1;
}

bool ParseComFriendlyName(const std::string& friendlyName, int* comNumber) {
    const std::size_t open = friendlyName.find("(COM");
    if (open == std::string::npos) return false;
    std::string rest = friendlyName.substr(open + 4);
    const std::size_t close = rest.find(')');
    if (close == std::string::npos) return false;
    rest.erase(close);
    if (std::strcspn(rest.c_str(), "0123456789") != 0) return false;
    long value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > 1000000) return false;  // no port number is this long
    }
    *comNumber = static_cast<int>(value);
    return true;
}

std::string FormatTtyFriendlyName(const std::string& description, const std::string& deviceName, bool onUsb) {
    std::string desc = description;
    if (desc.empty()) desc = onUsb ? "USB Serial Device" : "Communications Port";
    if (onUsb && desc.find("USB") == std::string::npos) desc = "USB " + desc;
    return desc + " (" + deviceName + ")";
}

std::vector<PortItem> ParseExtraPorts(const std::string& list) {
    std::vector<PortItem> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string path = list.substr(start, end - start);
        if (!path.empty()) {
            const std::size_t slash = path.rfind('/');
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            items.emplace_back(FormatTtyFriendlyName("Virtual Serial Port", name, false), path);
        }
        start = end + 1;
    }
    return items;
}

void FillPortTable(PortTable* table, const std::vector<PortItem>& items, bool parseComNames) {
    table->Clear();
    for (const PortItem& item : items) {
        if (parseComNames) {
            table->AddPortFromFriendlyName(item.first);
        } else {
            PortEntry entry;
            entry.name = item.first;
            entry.identity = item.second;
            table->Add(std::move(entry));
        }
    }
}

PortSelection ChoosePortSelection(const PortTable& table, const std::string& rememberedDirect,
                                  const std::string& rememberedGateway) {
    PortSelection sel;
    if (table.Count() == 0) return sel;
    sel.direct = sel.gateway = 0;
    const auto& entries = table.Entries();
    for (int i = 0; i < table.Count(); ++i) {
        if (entries[i].name.find("USB") != std::string::npos) {
            sel.direct = sel.gateway = i;
            return sel;
        }
    }
    if (!rememberedDirect.empty()) {
        const int d = table.Find(rememberedDirect);
        const int g = table.Find(rememberedGateway);
        if (d >= 0) sel.direct = d;
        if (g >= 0) sel.gateway = g;
    }
    return sel;
}
