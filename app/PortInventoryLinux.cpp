// Linux: the tty devices known to udev that have a hardware device behind
// them; a udev monitor on the tty subsystem reports arrivals and removals.
#include "app/PortInventory.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>

namespace {

std::string Attr(udev_device* dev, const char* name) {
    const char* v = dev ? udev_device_get_sysattr_value(dev, name) : nullptr;
    return v ? std::string(v) : std::string();
}

std::string Prop(udev_device* dev, const char* name) {
    const char* v = dev ? udev_device_get_property_value(dev, name) : nullptr;
    return v ? std::string(v) : std::string();
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}

// A tty with a real device behind it: it has a parent device, and the parent
// is not one of the placeholder ports that the 8250 driver always registers.
bool HasHardware(udev_device* dev) {
    udev_device* parent = udev_device_get_parent(dev);
    if (!parent) return false;
    const char* driver = udev_device_get_driver(parent);
    if (driver && std::strcmp(driver, "serial8250") == 0) return false;
    return true;
}

std::string Describe(udev_device* dev, bool* onUsb) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
    *onUsb = usb != nullptr;
    std::string desc;
    if (usb) desc = Trimmed(Attr(usb, "product"));
    if (desc.empty()) desc = Prop(dev, "ID_MODEL_FROM_DATABASE");
    if (desc.empty()) {
        desc = Prop(dev, "ID_MODEL");
        for (char& c : desc)
            if (c == '_') c = ' ';
    }
    return desc;
}

}  // namespace

bool PortNamesAreComNames() { return false; }

bool ListSerialPorts(std::vector<PortItem>* items) {
    items->clear();
    udev* u = udev_new();
    if (!u) return false;
    udev_enumerate* en = udev_enumerate_new(u);
    if (!en) {
        udev_unref(u);
        return false;
    }
    udev_enumerate_add_match_subsystem(en, "tty");
    bool ok = udev_enumerate_scan_devices(en) >= 0;
    bool any = false;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en)) {
        any = true;
        if (static_cast<int>(items->size()) >= PORT_TABLE_SIZE) break;
        udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!dev) continue;
        const char* node = udev_device_get_devnode(dev);
        const char* sysname = udev_device_get_sysname(dev);
        if (node && sysname && HasHardware(dev)) {
            bool onUsb = false;
            const std::string desc = Describe(dev, &onUsb);
            items->emplace_back(FormatTtyFriendlyName(desc, sysname, onUsb), node);
        }
        udev_device_unref(dev);
    }
    udev_enumerate_unref(en);
    udev_unref(u);
    if (const char* extra = std::getenv("RZSET_EXTRA_PORTS")) {
        // Listed first: whoever names a port explicitly wants it preselected
        // when no USB adapter is attached.
        std::vector<PortItem> named;
        for (PortItem& item : ParseExtraPorts(extra))
            if (::access(item.second.c_str(), F_OK) == 0) named.push_back(std::move(item));  // only paths that exist now
        items->insert(items->begin(), named.begin(), named.end());
        if (static_cast<int>(items->size()) > PORT_TABLE_SIZE) items->resize(PORT_TABLE_SIZE);
        any = any || !named.empty();
        ok = true;
    }
    return ok && any;
}

struct PortWatcher::Impl {
    udev* u = nullptr;
    udev_monitor* mon = nullptr;
    QSocketNotifier* notifier = nullptr;
};

PortWatcher::PortWatcher(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
    m_impl->u = udev_new();
    if (!m_impl->u) return;
    m_impl->mon = udev_monitor_new_from_netlink(m_impl->u, "udev");
    if (!m_impl->mon || udev_monitor_filter_add_match_subsystem_devtype(m_impl->mon, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_impl->mon) < 0) {
        if (m_impl->mon) udev_monitor_unref(m_impl->mon);
        m_impl->mon = nullptr;
        return;
    }
    const int fd = udev_monitor_get_fd(m_impl->mon);
    m_impl->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_impl->notifier, &QSocketNotifier::activated, this, [this] {
        bool relevant = false;
        // Drain every queued event; one refresh covers them all.
        while (udev_device* dev = udev_monitor_receive_device(m_impl->mon)) {
            const char* action = udev_device_get_action(dev);
            if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                relevant = true;
            udev_device_unref(dev);
        }
        if (relevant) emit changed();
    });
}

PortWatcher::~PortWatcher() {
    delete m_impl->notifier;
    if (m_impl->mon) udev_monitor_unref(m_impl->mon);
    if (m_impl->u) udev_unref(m_impl->u);
}

bool PortWatcher::IsActive() const { return m_impl->notifier != nullptr; }
