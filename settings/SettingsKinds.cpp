#include "settings/SettingsKinds.h"

#include "settings/GatewayCore.h"
#include "settings/RegisterSettings.h"
#include "settings/SerialCore.h"
#include "settings/SetGateway.h"
#include "settings/SetSerial.h"

CGatewayKind::CGatewayKind(QWidget* mainWindow) : m_window(std::make_unique<CSetGateway>(mainWindow)) {}
CGatewayKind::~CGatewayKind() = default;
ReplyHandler CGatewayKind::Handler() const { return &GatewayReplyHandler; }
int CGatewayKind::ReadSettings() { return ReadGatewaySettings(); }
int CGatewayKind::RunWindow() {
    m_window->OpenWindow();
    return m_window->exec();
}

CSerialKind::CSerialKind(QWidget* mainWindow) : m_window(std::make_unique<CSetSerial>(mainWindow)) {}
CSerialKind::~CSerialKind() = default;
ReplyHandler CSerialKind::Handler() const { return &SerialReplyHandler; }
int CSerialKind::ReadSettings() { return ReadSerialSettings(); }
int CSerialKind::RunWindow() {
    m_window->OpenWindow();
    return m_window->exec();
}

void RegisterSettingsWindows() {
    RegisterDeviceKind(SettingsKind::Gateway,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CGatewayKind>(main); });
    RegisterDeviceKind(SettingsKind::Serial,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CSerialKind>(main); });
}
