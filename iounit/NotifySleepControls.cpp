#include "iounit/NotifySleepControls.h"

#include "forms/IoUnitTexts.h"
#include "iounit/PageControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

void AcceptDigitsOnly(QObject* owner, const NotifySleepControls& c) {
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), owner);
    for (QLineEdit* e : c.dest) e->setValidator(digits);
    c.retry->setValidator(digits);
    c.wakeup->setValidator(digits);
}

void PrepareNotifySleep(const NotifySleepControls& c) {
    FillList(c.notifyInterval, NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT);
    FillList(c.sleepInterval, SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT);
    FillList(c.commandWait, COMMAND_WAITS, COMMAND_WAIT_COUNT);
    for (QLineEdit* e : c.dest) e->setMaxLength(3);
    c.retry->setMaxLength(1);
    c.wakeup->setMaxLength(3);
}

NotifyFormValues ReadNotifyControls(const NotifySleepControls& c) {
    NotifyFormValues v;
    for (int i = 0; i < DEST_NODE_COUNT; ++i) v.destNode[i] = c.dest[i]->text().toStdString();
    v.retryCount = c.retry->text().toStdString();
    v.notifyInterval = c.notifyInterval->currentIndex();
    return v;
}

SleepFormValues ReadSleepControls(const NotifySleepControls& c) {
    SleepFormValues v;
    v.enabled = c.sleep->isChecked();
    v.sleepInterval = c.sleepInterval->currentIndex();
    v.commandWait = c.commandWait->currentIndex();
    v.wakeupNode = c.wakeup->text().toStdString();
    return v;
}

void ShowNotifyControls(const NotifySleepControls& c, const NotifyFormValues& v) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) c.dest[i]->setText(QString::fromStdString(v.destNode[i]));
    c.retry->setText(QString::fromStdString(v.retryCount));
    SelectIndex(c.notifyInterval, v.notifyInterval);
}

void ShowSleepControls(const NotifySleepControls& c, const SleepFormValues& v) {
    c.sleep->setChecked(v.enabled);
    SelectIndex(c.sleepInterval, v.sleepInterval);
    SelectIndex(c.commandWait, v.commandWait);
    c.wakeup->setText(QString::fromStdString(v.wakeupNode));
}

void ApplySleepEnabling(const NotifySleepControls& c) {
    const bool sleep = c.sleep->isChecked();
    c.sleepInterval->setEnabled(sleep);
    c.commandWait->setEnabled(sleep);
    c.wakeup->setEnabled(sleep);
    for (QWidget* label : c.sleepLabels) label->setEnabled(sleep);
}
