// The device kinds of the gateway, the serial converter and the I/O unit:
// reply handler, settings read and the modal window, as the main window's
// dispatch uses them. Each kind builds its window once (owned by the main window) and
// reuses it for every connection.
#pragma once

#include "settings/DeviceKinds.h"

#include <QPointer>

#include <memory>

class CSetGateway;
class CSetPirno;
class CSetSerial;

class CGatewayKind : public IDeviceKind {
public:
    explicit CGatewayKind(QWidget* mainWindow);
    ~CGatewayKind() override;
    ReplyHandler Handler() const override;
    int ReadSettings() override;
    int RunWindow() override;
    CSetGateway* Window() const;

private:
    // The window's parent is the main window; whichever goes first, the
    // window is deleted once.
    QPointer<CSetGateway> m_window;
};

class CSerialKind : public IDeviceKind {
public:
    explicit CSerialKind(QWidget* mainWindow);
    ~CSerialKind() override;
    ReplyHandler Handler() const override;
    int ReadSettings() override;
    int RunWindow() override;
    CSetSerial* Window() const;

private:
    QPointer<CSetSerial> m_window;
};

class CIoUnitKind : public IDeviceKind {
public:
    explicit CIoUnitKind(QWidget* mainWindow);
    ~CIoUnitKind() override;
    ReplyHandler Handler() const override;
    int ReadSettings() override;
    int RunWindow() override;
    // The reset "RSET/" when the window was written (once).
    void AfterWindowClosed() override;
    CSetPirno* Window() const;

private:
    QPointer<CSetPirno> m_window;
};
