#include "settings/SettingsKinds.h"

#include "settings/GatewayCore.h"
#include "settings/RegisterSettings.h"
#include "settings/SerialCore.h"
#include "settings/SetGateway.h"
#include "settings/SetPirno.h"
#include "settings/SetSerial.h"

CGatewayKind::CGatewayKind(QWidget* mainWindow) : m_window(new CSetGateway(mainWindow)) {}
CGatewayKind::~CGatewayKind() { delete m_window.data(); }
ReplyHandler CGatewayKind::Handler() const { return &GatewayReplyHandler; }
CSetGateway* CGatewayKind::Window() const { return m_window.data(); }
int CGatewayKind::ReadSettings() { return ReadGatewaySettings(); }
int CGatewayKind::RunWindow() {
    if (!m_window) return -1;
    m_window->OpenWindow();
    return m_window->exec();
}

CSerialKind::CSerialKind(QWidget* mainWindow) : m_window(new CSetSerial(mainWindow)) {}
CSerialKind::~CSerialKind() { delete m_window.data(); }
ReplyHandler CSerialKind::Handler() const { return &SerialReplyHandler; }
CSetSerial* CSerialKind::Window() const { return m_window.data(); }
int CSerialKind::ReadSettings() { return ReadSerialSettings(); }
int CSerialKind::RunWindow() {
    if (!m_window) return -1;
    m_window->OpenWindow();
    return m_window->exec();
}

CIoUnitKind::CIoUnitKind(QWidget* mainWindow) : m_window(new CSetPirno(mainWindow)) {}
CIoUnitKind::~CIoUnitKind() { delete m_window.data(); }
ReplyHandler CIoUnitKind::Handler() const { return &IoUnitReplyHandler; }
CSetPirno* CIoUnitKind::Window() const { return m_window.data(); }
int CIoUnitKind::ReadSettings() { return ReadIoUnitSettings(); }
int CIoUnitKind::RunWindow() {
    if (!m_window) return -1;
    m_window->OpenWindow();
    return m_window->exec();
}
void CIoUnitKind::AfterWindowClosed() {
    if (m_window) m_window->SendResetAfterWrite();
}

void RegisterSettingsWindows() {
    RegisterDeviceKind(SettingsKind::Gateway,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CGatewayKind>(main); });
    RegisterDeviceKind(SettingsKind::IoUnit,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CIoUnitKind>(main); });
    RegisterDeviceKind(SettingsKind::Serial,
                       [](QWidget* main) -> std::unique_ptr<IDeviceKind> { return std::make_unique<CSerialKind>(main); });
}
