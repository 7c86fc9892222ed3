#include "app/SearchNode.h"

#include "forms/AppTexts.h"
#include "link/DeviceLink.h"
#include "ui_SearchNode.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

CSearchNode::CSearchNode(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::SearchNode>()) {
    m_ui->setupUi(this);
    setWindowTitle(QString::fromUtf8(TXT_SEARCH_TITLE));
    QTreeWidget* list = m_ui->listNodes;
    list->setHeaderLabels({QString::fromUtf8(TXT_SEARCH_COL_NODE), QString::fromUtf8(TXT_SEARCH_COL_MODEL),
                           QString::fromUtf8(TXT_SEARCH_COL_ID), QString::fromUtf8(TXT_SEARCH_COL_RSSI)});
    list->header()->setSectionsClickable(false);
    list->setColumnWidth(0, 90);
    list->setColumnWidth(1, 140);
    list->setColumnWidth(2, 60);
    list->setColumnWidth(3, 60);
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &CSearchNode::OnTick);
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &CSearchNode::Pick);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, [this] { reject(); });
    // A double click anywhere in the list picks, on a row or not.
    list->viewport()->installEventFilter(this);
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto selected = m_ui->listNodes->selectedItems();
        if (!selected.isEmpty()) m_pMarkItem = selected.front();
    });
}

CSearchNode::~CSearchNode() = default;

int CSearchNode::SendSearch() {
    theLink.m_nNode = SEARCH_NODE_ALL;
    const char command[4] = {'S', 'N', static_cast<char>(REPLY_TERMINATOR), 0};
    return theLink.SendCommand(command);
}

int CSearchNode::RunModal() {
    m_nDots = 1;
    m_timer->start();
    const int result = exec();
    m_timer->stop();
    return result;
}

void CSearchNode::OnTick() {
    m_ui->labelStatus->setText(QString::fromUtf8(SearchStatusText(m_nDots)));
    m_nDots = NextSearchDots(m_nDots);
}

void CSearchNode::AddNodeRow(const NodeAnswer& answer) {
    const NodeRowTexts t = FormatNodeRow(answer);
    auto* item = new QTreeWidgetItem({QString::fromStdString(t.node), QString::fromStdString(t.model),
                                      QString::fromStdString(t.id), QString::fromStdString(t.rssi)});
    m_ui->listNodes->insertTopLevelItem(m_nInsertRow, item);
}

int CSearchNode::RowCount() const { return m_ui->listNodes->topLevelItemCount(); }

NodeRowTexts CSearchNode::Row(int row) const {
    NodeRowTexts t;
    if (QTreeWidgetItem* item = m_ui->listNodes->topLevelItem(row)) {
        t.node = item->text(0).toStdString();
        t.model = item->text(1).toStdString();
        t.id = item->text(2).toStdString();
        t.rssi = item->text(3).toStdString();
    }
    return t;
}

QString CSearchNode::StatusText() const { return m_ui->labelStatus->text(); }

void CSearchNode::SelectRow(int row) {
    if (QTreeWidgetItem* item = m_ui->listNodes->topLevelItem(row)) {
        m_ui->listNodes->setCurrentItem(item);
        item->setSelected(true);
    }
}

void CSearchNode::PressOk() { m_ui->buttonOk->click(); }
void CSearchNode::PressCancel() { m_ui->buttonCancel->click(); }

void CSearchNode::Pick() {
    m_nSelectedNode = m_pMarkItem ? m_pMarkItem->text(0).toInt() : -1;
    accept();
}

bool CSearchNode::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->listNodes->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        Pick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CSearchNode::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();  // neither confirms nor closes the window
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
