// The analog input channel dialog "AIの設定" driven like an operator would
// (Qt Test, offscreen): what it shows for a fetched record, the range
// change, leaving a threshold field, Enter and Esc, OK's message and the
// commands it prepares.
#include "forms/AnalogTexts.h"
#include "forms/UiThread.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "link/DeviceLink.h"

#include <QTest>
#include <QtWidgets>

static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
static const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

class AnalogWindowTest : public QObject {
    Q_OBJECT

    std::vector<QString> m_messages;

    template <class C = QLineEdit>
    static C* Child(QWidget* w, const char* name) {
        C* c = w->findChild<C*>(QString::fromLatin1(name));
        if (!c) qFatal("no child %s", name);
        return c;
    }
    // Types text into a field and moves the focus on, as an operator would.
    static void Type(QWidget* dlg, const char* field, const char* text, const char* next = "comboLedCondition") {
        QLineEdit* e = Child(dlg, field);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, Q(text));
        Child<QWidget>(dlg, next)->setFocus();
    }

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
    }
    void cleanup() { SetMessageSink({}); }

    void dialogShowsTheRecordAndFollowsTheRange() {
        CSetPirnoInAnalogAI dlg;
        const AiChannelSettings rec{.m_nInputRange = 1, .m_nTcType = 3, .m_nColdJunction = 1, .m_nBurnoutDetect = 0,
                                    .m_nBurnoutOutput = 1, .m_nLedLow = 0xC000, .m_nLedHigh = 0x4000,
                                    .m_nLedCondition = 1, .m_nScaleRange = 2, .m_nTempLow = -10, .m_nTempHigh = 1000};
        dlg.SetChannel(2, rec);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), Q("AIの設定"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboInputRange")->currentText(), Q("±1V"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboTcType")->currentText(), Q("E"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboScaleRange")->currentText(), Q("1-5V"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboLedCondition")->currentText(), Q("範囲外で点灯"));
        for (const char* on : {"radioColdOn", "radioBurnoutOff", "radioOutput7FFFFF"})
            QVERIFY2(Child<QRadioButton>(&dlg, on)->isChecked(), on);
        QCOMPARE(Child(&dlg, "editTempLow")->text() + "/" + Child(&dlg, "editTempHigh")->text(), Q("-1.0/100.0"));
        QCOMPARE(Child(&dlg, "editLedLow")->text() + "/" + Child(&dlg, "editLedHigh")->text(), Q("-0.5000/ 0.5000"));
        QCOMPARE(Child<QLabel>(&dlg, "labelLedLowUnit")->text(), Q("V"));
        QVERIFY(!Child<QWidget>(&dlg, "comboTcType")->isEnabled() && !Child<QWidget>(&dlg, "editTempLow")->isEnabled());
        QVERIFY(!Child<QWidget>(&dlg, "radioOutput800000")->isEnabled() && Child<QWidget>(&dlg, "editLedLow")->isEnabled());

        // Every input control and button is named after its label.
        const std::pair<const char*, const char*> names[] = {
            {"comboInputRange", TXT_AI_INPUT_RANGE}, {"comboTcType", TXT_AI_TC_TYPE}, {"radioColdOn", "ON"},
            {"radioBurnoutOff", "OFF"}, {"radioOutput800000", "800000h"}, {"comboScaleRange", TXT_AI_SCALE_RANGE},
            {"editTempLow", TXT_AI_TEMP_LOW}, {"editTempHigh", TXT_AI_TEMP_HIGH}, {"editLedLow", TXT_AI_LED_LOW},
            {"editLedHigh", TXT_AI_LED_HIGH}, {"comboLedCondition", TXT_AI_LED_FRAME}, {"okButton", "OK"},
            {"cancelButton", "キャンセル"}};
        for (const auto& [name, label] : names) QCOMPARE(Child<QWidget>(&dlg, name)->accessibleName(), Q(label));
        QCOMPARE(Child<QLabel>(&dlg, "labelTempLow")->text(), Q(TXT_AI_TEMP_LOW));

        // ±1V -> ±10V: the codes stay, the reading is ten times larger.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(2);
        QCOMPARE(Child(&dlg, "editLedLow")->text() + "/" + Child(&dlg, "editLedHigh")->text(), Q("-5.00000/5.00015"));
        QCOMPARE(dlg.Settings().m_nLedLow, 0xC000);
        // Leaving a field converts, clamps and shows what will be sent.
        Type(&dlg, "editLedLow", "-12");
        QCOMPARE(Child(&dlg, "editLedLow")->text(), Q("-10.00000"));
        QCOMPARE(dlg.Settings().m_nLedLow, 0x8000);
        Type(&dlg, "editLedHigh", "12");
        QCOMPARE(Child(&dlg, "editLedHigh")->text(), Q("10.00000"));
        QCOMPARE(dlg.Settings().m_nLedHigh, 0x7FFF);
        // A milliampere range shows the negative code as 0.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(4);
        QCOMPARE(Child(&dlg, "editLedLow")->text(), Q("  0.000"));
        QCOMPARE(Child<QLabel>(&dlg, "labelLedHighUnit")->text(), Q("mA"));
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(6);
        QVERIFY(Child<QWidget>(&dlg, "comboTcType")->isEnabled() && Child<QWidget>(&dlg, "editTempHigh")->isEnabled());
        QVERIFY(Child<QWidget>(&dlg, "radioOutput800000")->isEnabled());
        QCOMPARE(Child<QLabel>(&dlg, "labelLedLowUnit")->text(), Q("℃"));
    }

    void okChecksThenPreparesTheCommands() {
        CSetPirnoInAnalogAI dlg;
        dlg.SetChannel(2, AiChannelSettings{.m_nInputRange = 0, .m_nLedLow = 0, .m_nLedHigh = 0x100, .m_nTempHigh = 10});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // Enter and Esc, in a field or on the dialog, do not close it.
        for (QWidget* target : {static_cast<QWidget*>(Child(&dlg, "editTempLow")), static_cast<QWidget*>(&dlg)}) {
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, Qt::Key(key));
        }
        QVERIFY(dlg.isVisible());
        QVERIFY(m_messages.empty());

        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(6);
        Type(&dlg, "editTempLow", "12a");
        // The temperatures are checked whatever the range, enabled or not.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(3);  // ±30V
        Child<QPushButton>(&dlg, "okButton")->click();
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_TEMP_INVALID)});
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.Commands()[0].empty());

        // A threshold typed and not left (OK pressed without moving the
        // focus) is taken as typed.
        Child<QLineEdit>(&dlg, "editTempLow")->setText(Q(" 1.0 "));
        QLineEdit* high = Child(&dlg, "editLedHigh");
        high->setFocus();
        high->selectAll();
        QTest::keyClicks(high, Q("31"));
        Child<QPushButton>(&dlg, "okButton")->click();
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        const auto& cmds = dlg.Commands();
        QCOMPARE(cmds[0], "AR\x22\x23" + T);  // AI3 on ±30V
        QCOMPARE(cmds[1], "TC\"  " + T);
        QCOMPARE(cmds[2], "AL\" 00007FFF" + T);
        QCOMPARE(cmds[3], "TF\" 000A000A" + T);

        // Cancel (and the close box) ends without commands.
        CSetPirnoInAnalogAI other;
        other.SetChannel(0, AiChannelSettings{});
        other.show();
        Child<QPushButton>(&other, "cancelButton")->click();
        QCOMPARE(other.result(), int(QDialog::Rejected));
        QVERIFY(other.Commands()[0].empty());
    }
};

QTEST_MAIN(AnalogWindowTest)
#include "AnalogWindowTest.moc"
