// The main window's dispatch by device kind. The settings windows register
// themselves (RegisterDeviceKind) before the main window is built; the main
// window builds one instance of each registered kind, reuses it for every
// connection and destroys it with itself. A kind that is not registered is
// refused like an unsupported model.
#pragma once

#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <functional>
#include <memory>

class QWidget;

class IDeviceKind {
public:
    virtual ~IDeviceKind() = default;
    // The reply handler installed (with the main window as context) before
    // the settings read; it stays installed while the window is open.
    virtual ReplyHandler Handler() const = 0;
    // The settings read, on a worker thread of the main window (never the
    // GUI thread): every command sent and waited for, "GJ" first when the
    // target is direct. It touches no widget and shows no message (the main
    // window reports a failure). The main window may close the link under
    // it ("中止", shutdown): the read then fails at once. 0, or negative at
    // the first failure.
    virtual int ReadSettings() = 0;
    // Runs the settings window modally on the GUI thread; returns when the
    // operator closed it (the result is not used by the main window). It
    // must not wait on the link: what it sends goes out on a worker.
    virtual int RunWindow() = 0;
    // After the window has closed, on the main window's worker, before it
    // closes the link: what the kind still sends then (the I/O unit's reset
    // after a written window), so that it reaches the device first. Touches
    // no widget.
    virtual void AfterWindowClosed() {}
};

using DeviceKindFactory = std::function<std::unique_ptr<IDeviceKind>(QWidget* mainWindow)>;

void RegisterDeviceKind(SettingsKind kind, DeviceKindFactory factory);
void ClearDeviceKinds();
const DeviceKindFactory* FindDeviceKind(SettingsKind kind);
