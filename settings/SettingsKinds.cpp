#include "settings/SettingsKinds.h"

#include "settings/GatewayCore.h"
#include "settings/RegisterSettings.h"
#include "settings/SerialCore.h"
#include "settings/SetGateway.h"
#include "settings/SetSerial.h"

CGatewayKind::CGatewayKind(QWidget* mainWindow) : m_window(new CSetGateway(mainWindow)) {}
CGatewayKind::~CGatewayKind() { delete m_window.data(); }
ReplyHandler CGatewayKind::Handler() const { return &GatewayReplyHandler; }
int CGatewayKind::ReadSettings() { return ReadGatewaySettings(); }
int CGatewayKind::RunWindow() {
    if (!m_window) return -1;
    m_window->OpenWindow();
    return m_window->exec();
}

CSerialKind::CSerialKind(QWidget* mainWindow) : m_window(new CSetSerial(mainWindow)) {}
CSerialKind::~CSerialKind() { delete m_window.data(); }
ReplyHandler CSerialKind::Handler() const { return &SerialReplyHandler; }
int CSerialKind::ReadSettings() { return ReadSerialSettings(); }
int CSerialKind::RunWindow() {
    if (!m_window) return -1;
    m_window->OpenWindow();
    return m_window->exec();
}

void RegisterSettingsWindows() {
    RegisterDeviceKind(SettingsKind::Gateway,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CGatewayKind>(main); });
    RegisterDeviceKind(SettingsKind::Serial,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CSerialKind>(main); });
}
