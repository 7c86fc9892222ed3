// The serial port table behind the main window's two port lists: entries in
// the order the platform inventory found them, the parsing of a Windows-style
// friendly name, and the preselection rules of a refresh. Toolkit-free.
#pragma once

#include <string>
#include <utility>
#include <vector>

constexpr int PORT_TABLE_SIZE = 256;

struct PortEntry {
    std::string name;      // shown in the lists unchanged
    std::string identity;  // what the link opens (theLink.m_strComPort)
    int comNumber = -1;    // the number of a "(COMn)" name, -1 for other names
};

// A (friendly name, port identity) pair as the platform inventory lists it.
using PortItem = std::pair<std::string, std::string>;

class PortTable {
public:
    // Appends an entry; false (and nothing stored) once the table is full.
    bool Add(PortEntry entry);
    // The Windows rule: a name carrying "(COMn)" gives an entry with COM
    // number n (an empty n gives 0) and the identity "\\.\COMn"; any other
    // name is ignored. True when an entry was added.
    bool AddPortFromFriendlyName(const std::string& friendlyName);
    void Clear() { m_entries.clear(); }

    const std::vector<PortEntry>& Entries() const { return m_entries; }
    int Count() const { return static_cast<int>(m_entries.size()); }
    // Index of the entry with this identity, -1 when absent.
    int Find(const std::string& identity) const;

private:
    std::vector<PortEntry> m_entries;
};

// Parses the COM number out of a friendly name; false when the name carries
// none ("(COM" missing, no closing parenthesis, or a non-digit after "COM").
bool ParseComFriendlyName(const std::string& friendlyName, int* comNumber);

// The friendly name of a Linux tty: "<description> (<device name>)". A port on
// the USB bus always carries "USB" in its name, so that it is preselected.
std::string FormatTtyFriendlyName(const std::string& description, const std::string& deviceName, bool onUsb);

// Extra ports named by the operator's environment (RZSET_EXTRA_PORTS: device
// paths separated by ':'; pseudo-terminals of a simulator, serial bridges),
// listed before the hardware ports as "Virtual Serial Port (<name>)".
std::vector<PortItem> ParseExtraPorts(const std::string& list);

// Fills a table from an inventory: Linux items are taken as they are; with
// parseComNames the Windows rule decides which names become entries.
void FillPortTable(PortTable* table, const std::vector<PortItem>& items, bool parseComNames);

// Selected rows of the two lists after a refresh, -1 for none.
struct PortSelection {
    int direct = -1;
    int gateway = -1;
};

// The refresh rules: the first entry; the first entry whose name contains
// "USB" wins; otherwise, when the direct list had a selection, each list
// keeps its remembered port where it is still present. Remembered ports are
// identities, empty for a list without selection.
PortSelection ChoosePortSelection(const PortTable& table, const std::string& rememberedDirect,
                                  const std::string& rememberedGateway);
