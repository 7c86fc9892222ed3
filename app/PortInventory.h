// The machine's serial ports as the platform lists them, and the notice of a
// port device arriving or going away.
#pragma once

#include "app/PortTable.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Lists (friendly name, port identity) of the serial ports that have real
// hardware behind them, in the platform's order. False when the inventory
// could not be read or holds no device at all.
bool ListSerialPorts(std::vector<PortItem>* items);

// True when the inventory's names follow the "(COMn)" convention and go
// through PortTable::AddPortFromFriendlyName.
bool PortNamesAreComNames();

using PortInventoryFn = std::function<bool(std::vector<PortItem>*)>;

// Emits changed() on the GUI thread when a serial port device was added or
// removed. Without the platform's notification it stays silent.
class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(QObject* parent = nullptr);
    ~PortWatcher() override;
    bool IsActive() const;

signals:
    void changed();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
