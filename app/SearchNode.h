// CSearchNode: the node search window. One "SN" goes to every node and each
// answer is listed (newest on top) until the operator closes the window.
// The main window sends the "SN" on its worker (SendSearch) once a fresh
// window exists, then runs the window.
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

    // Any thread but the GUI thread: sets the link's node to 255 and sends
    // "SN"; 0, or negative (the link's m_nError says why).
    static int SendSearch();

    // Runs the window modally on the GUI thread, with the rows that arrived
    // since it was built. Afterwards m_nSelectedNode holds the node picked,
    // or -1.
    int RunModal();

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
