#include "gui/records/frmlog.h"

#include "gui/records/frmrec.h"
#include "gui/common/gridstyle.h"
#include "gui/common/formutil.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace kestrune {

Frmlog::Frmlog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Frmlog"));
    setWindowTitle(QStringLiteral("日志"));
    setFixedSize(tw(5400), tw(3750));

    MSF1 = control<QTableView>(this, "MSF1", {0, 0, 5415, 3255});
    MSF1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One line a record, as a grid shows it.
    MSF1->setWordWrap(false);
    useCompactCells(MSF1);
    // No fixed column at the left.
    MSF1->verticalHeader()->hide();
    m_model = new QStandardItemModel(this);
    MSF1->setModel(m_model);

    Command1 = button(this, "Command1", {240, 3360, 1215, 375}, QStringLiteral("删除"));
    Command2 = button(this, "Command2", {1680, 3360, 1215, 375}, QStringLiteral("清空"));
    Command3 = button(this, "Command3", {3960, 3360, 1215, 375}, QStringLiteral("关闭"));

    connect(Command1, &QPushButton::clicked, this, &Frmlog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Frmlog::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Frmlog::Command3_Click);

    Form_Load();
}

Frmlog::~Frmlog()
{
    Data2.reset();
    m_store.reset();
}

void Frmlog::Form_Load()
{
    m_store = std::make_unique<RecordStore>(dataFile(QStringLiteral("db1.mdb")));
    Data2 = std::make_unique<TableCursor>(*m_store, QString::fromLatin1(kLogTable));
    // The two columns of the log, whether or not it could be read.
    m_model->setColumnCount(2);
    m_model->setHorizontalHeaderLabels(recordFields(QString::fromLatin1(kLogTable)));
    MSF1->setColumnWidth(0, tw(3000));
    MSF1->setColumnWidth(1, tw(2000));

    if (!m_store->open({QString::fromLatin1(kLogTable)})) {
        Command1->setEnabled(false);
        Command2->setEnabled(false);
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    refresh();
}

void Frmlog::refresh()
{
    Data2->requery();
    if (const auto contents = m_store->read(QString::fromLatin1(kLogTable)))
        fillGridModel(m_model, *contents);
}

void Frmlog::Command1_Click()
{
    if (!m_store->isOpen()) {
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    if (Data2->eof()) {
        platform().messageBox(this, QStringLiteral("没有记录!"), MsgIcon::Information);
        return;
    }
    // The cursor stands on the first record whatever row the grid selects.
    const bool deleted = Data2->deleteCurrent();
    const QString error = Data2->lastError();
    refresh();
    if (!deleted)
        platform().messageBox(this, QStringLiteral("删除日志记录失败（%1）。").arg(error), MsgIcon::Information);
}

void Frmlog::Command2_Click()
{
    if (!m_store->isOpen()) {
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    if (Data2->eof()) {
        platform().messageBox(this, QStringLiteral("没有记录!"), MsgIcon::Information);
        return;
    }
    Data2->moveFirst();
    const bool cleared = Data2->deleteAll();
    const QString error = Data2->lastError();
    refresh();
    if (!cleared) {
        platform().messageBox(this, QStringLiteral("清空日志失败（%1），日志未被删除。").arg(error),
                              MsgIcon::Information);
        return;
    }
    platform().messageBox(this, QStringLiteral("已清空日志信息"), MsgIcon::None);
}

void Frmlog::Command3_Click()
{
    close();
}

}  // namespace kestrune
