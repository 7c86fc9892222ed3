#include "settings/DeviceKinds.h"

#include <map>
#include <mutex>

namespace {
std::mutex g_kindsMutex;
std::map<SettingsKind, DeviceKindFactory>& Kinds() {
    static std::map<SettingsKind, DeviceKindFactory> kinds;
    return kinds;
}
}  // namespace

void RegisterDeviceKind(SettingsKind kind, DeviceKindFactory factory) {
    std::lock_guard<std::mutex> lock(g_kindsMutex);
    Kinds()[kind] = std::move(factory);
}

void ClearDeviceKinds() {
    std::lock_guard<std::mutex> lock(g_kindsMutex);
    Kinds().clear();
}

const DeviceKindFactory* FindDeviceKind(SettingsKind kind) {
    std::lock_guard<std::mutex> lock(g_kindsMutex);
    auto it = Kinds().find(kind);
    return it == Kinds().end() ? nullptr : &it->second;
}
