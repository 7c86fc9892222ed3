// Windows: every present device of every class whose friendly name carries
// "(COMn)"; WM_DEVICECHANGE for a port device arriving or removed.
#include "app/PortInventory.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include <vector>

namespace {

// Reads one registry property: asks its size first, then reads it.
bool ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* info, DWORD property, std::vector<char>* out) {
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyA(set, info, property, nullptr, nullptr, 0, &size);
    if (size == 0) return false;
    out->assign(size + 1, '\0');
    return SetupDiGetDeviceRegistryPropertyA(set, info, property, nullptr, reinterpret_cast<PBYTE>(out->data()), size,
                                             nullptr) != FALSE;
}

}  // namespace

bool PortNamesAreComNames() { return true; }

bool ListSerialPorts(std::vector<PortItem>* items) {
    items->clear();
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool result = false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        result = false;
        std::vector<char> desc;
        if (!ReadProperty(set, &info, SPDRP_DEVICEDESC, &desc)) continue;
        std::vector<char> name;
        if (ReadProperty(set, &info, SPDRP_FRIENDLYNAME, &name)) items->emplace_back(std::string(name.data()), "");
        result = true;
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

struct PortWatcher::Impl : public QAbstractNativeEventFilter {
    PortWatcher* owner = nullptr;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_DEVICECHANGE) return false;
        if ((msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE) && msg->lParam) {
            const auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(msg->lParam);
            if (hdr->dbch_devicetype == DBT_DEVTYP_PORT) emit owner->changed();
        }
        if (result) *result = 0;
        return false;
    }
};

PortWatcher::PortWatcher(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
    m_impl->owner = this;
    QCoreApplication::instance()->installNativeEventFilter(m_impl.get());
}

PortWatcher::~PortWatcher() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(m_impl.get());
}

bool PortWatcher::IsActive() const { return true; }
