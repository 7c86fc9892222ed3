// CSearchNode: the node search window. Sends one "SN" to every node and lists
// each answer (newest on top) until the operator closes the window.
#pragma once

#include "app/ConnectRules.h"

#include <QDialog>

#include <memory>

class QTimer;
class QTreeWidgetItem;
namespace Ui {
class SearchNode;
}

class CSearchNode : public QDialog {
    Q_OBJECT
public:
    explicit CSearchNode(QWidget* parent = nullptr);
    ~CSearchNode() override;

    // Opens the window modally on the GUI thread: sends "SN" to node 255
    // first; a failed send shows "通信エラー : %d" and returns -1 at once.
    // Afterwards m_nSelectedNode holds the node picked, or -1.
    int Run();

    // GUI thread: inserts one row at the top.
    void AddNodeRow(const NodeAnswer& answer);

    // The list as it stands (for the main window's tests).
    int RowCount() const;
    NodeRowTexts Row(int row) const;
    QString StatusText() const;
    // Selects a row as the operator would by clicking it.
    void SelectRow(int row);
    void PressOk();
    void PressCancel();

    int m_nSelectedNode = -1;
    int m_nInsertRow = 0;
    int m_nDots = 1;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTick();
    void Pick();

    std::unique_ptr<Ui::SearchNode> m_ui;
    QTimer* m_timer = nullptr;
    QTreeWidgetItem* m_pMarkItem = nullptr;  // the row last selected
};
