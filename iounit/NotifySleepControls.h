// The notification and sleep controls that both input pages show (the forms
// give them the same names), and what the pages do with them: the digit-only
// fields, the lists and lengths, reading and showing their form values, and
// the sleep controls following "スリープ有効". GUI thread only.
#pragma once

#include "iounit/NotifySleep.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QObject;
class QWidget;

struct NotifySleepControls {
    QLineEdit* dest[DEST_NODE_COUNT];
    QLineEdit* retry;
    QComboBox* notifyInterval;
    QCheckBox* sleep;
    QComboBox* sleepInterval;
    QComboBox* commandWait;
    QLineEdit* wakeup;
    QWidget* sleepLabels[3];
};

// The controls of a page's form.
template <class Form>
NotifySleepControls NotifySleepControlsOf(const Form& u) {
    return {{u.editDest1, u.editDest2, u.editDest3, u.editDest4},
            u.editRetry,
            u.comboNotify,
            u.checkSleep,
            u.comboSleepInterval,
            u.comboCommandWait,
            u.editWakeup,
            {u.labelSleepInterval, u.labelCommandWait, u.labelWakeup}};
}

// Once: the destination, retry and wake-up fields take digits only (one
// validator, owned by owner).
void AcceptDigitsOnly(QObject* owner, const NotifySleepControls& c);
// Each time the page opens: the three lists filled, the field lengths set.
void PrepareNotifySleep(const NotifySleepControls& c);

NotifyFormValues ReadNotifyControls(const NotifySleepControls& c);
SleepFormValues ReadSleepControls(const NotifySleepControls& c);
void ShowNotifyControls(const NotifySleepControls& c, const NotifyFormValues& v);
void ShowSleepControls(const NotifySleepControls& c, const SleepFormValues& v);

// The sleep lists, the wake-up field and their labels enabled exactly while
// "スリープ有効" is ticked.
void ApplySleepEnabling(const NotifySleepControls& c);
