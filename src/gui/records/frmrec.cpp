#include "gui/records/frmrec.h"

#include "gui/records/frmlog.h"
#include "gui/common/gridstyle.h"
#include "core/records/recorder.h"
#include "core/records/sizequery.h"
#include "gui/common/batchprogress.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"

#include <QComboBox>
#include <QEvent>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleOptionComplex>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>

namespace kestrune {

namespace {

const int kClientWidth = 6450;
const int kClientHeight = 6615;  // grown by the result box of the size query

// A combo box style with a narrow arrow button, for boxes too narrow for
// the usual one.
class SlimComboStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        if (control == CC_ComboBox && (sub == SC_ComboBoxArrow || sub == SC_ComboBoxEditField)) {
            const QRect r = option->rect;
            const int arrow = 10;
            if (sub == SC_ComboBoxArrow)
                return visualRect(option->direction, r, QRect(r.right() - arrow + 1, r.top(), arrow, r.height()));
            return visualRect(option->direction, r, QRect(r.left() + 2, r.top() + 2, r.width() - arrow - 2, r.height() - 4));
        }
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
};

}  // namespace

void fillGridModel(QStandardItemModel* model, const TableContents& contents)
{
    model->removeRows(0, model->rowCount());
    model->setColumnCount(int(contents.fields.size()));
    model->setHorizontalHeaderLabels(contents.fields);
    for (const QVariantList& row : contents.rows) {
        QList<QStandardItem*> items;
        for (const QVariant& v : row) {
            auto* item = new QStandardItem(v.isValid() ? v.toString() : QString());
            item->setEditable(false);
            items << item;
        }
        model->appendRow(items);
    }
}

frmrec::frmrec(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmrec"));
    setWindowTitle(QStringLiteral("文件信息批量记录工具"));
    setFixedSize(tw(kClientWidth), tw(kClientHeight));

    Command1 = button(this, "Command1", {120, 120, 1335, 375}, QStringLiteral("选择一个目录"));
    Command2 = button(this, "Command2", {1725, 120, 1335, 375}, QStringLiteral("当前目录"));
    Command3 = button(this, "Command3", {3315, 120, 1335, 375}, QStringLiteral("清空记录"));
    Command4 = button(this, "Command4", {4920, 120, 1335, 375}, QStringLiteral("日 志"));
    Text4 = control<QLineEdit>(this, "Text4", {120, 720, 4695, 375});
    Command5 = button(this, "Command5", {4920, 720, 1335, 375}, QStringLiteral("记录"));

    Label3 = control<QLabel>(this, "Label3", {120, 1440, 1455, 255}, QStringLiteral("请输入文件大小"));
    Text1 = control<QLineEdit>(this, "Text1", {1560, 1432, 615, 270}, QStringLiteral("2"));
    Combo1 = control<QComboBox>(this, "Combo1", {2280, 1417, 615, 300});
    Combo1->addItems({QStringLiteral("MB"), QStringLiteral("KB"), QStringLiteral("Byte")});
    // The box is narrow: a slim arrow leaves room for "Byte".
    auto* slim = new SlimComboStyle;
    slim->setParent(Combo1);
    Combo1->setStyle(slim);
    Label1 = control<ClickLabel>(this, "Label1", {3000, 1440, 495, 255}, QStringLiteral("查询"));
    Label1->setLinkStyle(true);
    Label1->setToolTip(QStringLiteral("按文件大小查询已记录的文件"));
    Label2 = control<QLabel>(this, "Label2", {3480, 1440, 495, 255}, QStringLiteral("差值"));
    Text3 = control<QLineEdit>(this, "Text3", {3960, 1432, 375, 270}, QStringLiteral("1"));
    for (QLabel* l : {Label3, static_cast<QLabel*>(Label1), Label2})
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Text2 = control<QPlainTextEdit>(this, "Text2", {120, 1800, 6135, 1335});
    Text2->setReadOnly(true);

    MSF1 = control<QTableView>(this, "MSF1", {120, 3240, 6135, 3255});
    MSF1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One line a record, as a grid shows it.
    MSF1->setWordWrap(false);
    useCompactCells(MSF1);
    m_logModel = new QStandardItemModel(this);
    MSF1->setModel(m_logModel);

    Text1->installEventFilter(this);

    connect(Command1, &QPushButton::clicked, this, &frmrec::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmrec::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmrec::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmrec::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmrec::Command5_Click);
    connect(Label1, &ClickLabel::clicked, this, &frmrec::Label1_Click);

    Form_Load();
}

frmrec::~frmrec()
{
    // The cursors go before their connection.
    Data1.reset();
    Data2.reset();
    m_store.reset();
}

void frmrec::Form_Load()
{
    m_store = std::make_unique<RecordStore>(dataFile(QStringLiteral("db1.mdb")));
    Data1 = std::make_unique<TableCursor>(*m_store, QString::fromLatin1(kFileInfTable));
    Data2 = std::make_unique<TableCursor>(*m_store, QString::fromLatin1(kLogTable));
    Combo1->setCurrentIndex(0);
    centreOn(this, ownerWindow(this));

    if (!m_store->open({QString::fromLatin1(kFileInfTable), QString::fromLatin1(kLogTable)})) {
        setRecordControlsEnabled(false);
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    Data1->requery();
    refreshLog();
}

void frmrec::setRecordControlsEnabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(Command1), static_cast<QWidget*>(Command2),
                       static_cast<QWidget*>(Command3), static_cast<QWidget*>(Command4),
                       static_cast<QWidget*>(Command5), static_cast<QWidget*>(Label1)})
        w->setEnabled(enabled);
}

void frmrec::refreshLog()
{
    Data2->requery();
    if (const auto contents = m_store->read(QString::fromLatin1(kLogTable))) {
        fillGridModel(m_logModel, *contents);
        // Whole folders and times: the grid scrolls sideways rather than
        // cutting them.
        MSF1->resizeColumnsToContents();
    }
}

void frmrec::recordRun(const QString& path, int nameLimit, const QString& doneMessage)
{
    if (!m_store->isOpen()) {
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    if (m_batch.busy())
        return;
    // The run has a connection of its own, opened and closed on the batch's
    // thread; this window's connection sees its records once it has ended.
    const QString database = m_store->path();
    m_batch.run<RecordRun>(
        [database, path, nameLimit](ProgressSink& progress) {
            RecordStore store(database);
            if (!store.open({QString::fromLatin1(kFileInfTable)})) {
                RecordRun failed;
                failed.outcome = RecordRun::Outcome::StoreFailed;
                failed.error = store.errorText();
                return failed;
            }
            TableCursor fileInf(store, QString::fromLatin1(kFileInfTable));
            const FileSystemObject fso;
            return recordFolder(fso, path, fileInf, nameLimit, &progress);
        },
        [this, path, doneMessage](RecordRun run) {
            Data1->requery();
            recordEnded(run, path, doneMessage);
        });
}

void frmrec::closeEvent(QCloseEvent* event)
{
    // Closing stops a recording as "取消" does (nothing of it is kept); the
    // window closes once it has stopped.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmrec::recordEnded(const RecordRun& run, const QString& path, const QString& doneMessage)
{
    switch (run.outcome) {
    case RecordRun::Outcome::Cancelled:
        // Nothing of the run is kept, and no log entry is written.
        platform().messageBox(this,
                              BatchProgress::cancelledText(run.handled) + QStringLiteral("\n本次没有保存任何记录。"),
                              MsgIcon::Information);
        return;
    case RecordRun::Outcome::NoFiles:
        return;
    case RecordRun::Outcome::NoFolder:
        platform().messageBox(this, QStringLiteral("指定的目录不存在!"), MsgIcon::Information);
        return;
    case RecordRun::Outcome::ListFailed:
        platform().messageBox(this, QStringLiteral("无法读取目录 %1：%2").arg(path, run.error), MsgIcon::Information);
        return;
    case RecordRun::Outcome::StoreFailed:
        platform().messageBox(
            this, QStringLiteral("文件信息未能写入数据库（%1），本次没有保存任何记录。").arg(run.error),
            MsgIcon::Information);
        return;
    case RecordRun::Outcome::Recorded:
        break;
    }
    // Files that could not be recorded in full are named in the same message.
    const QString failed = failureMessage(recordFailureHeading(), run.failures);
    platform().messageBox(this, failed.isEmpty() ? doneMessage : doneMessage + QStringLiteral("\n\n") + failed,
                          MsgIcon::None);
    // The log entry carries the time at which the message was closed.
    if (!addLogRecord(*Data2, path, QDateTime::currentDateTime()))
        platform().messageBox(this, QStringLiteral("日志记录未能写入数据库（%1）。").arg(Data2->lastError()),
                              MsgIcon::Information);
}

void frmrec::Command1_Click()
{
    const std::optional<QString> folder =
        platform().chooseFolder(this, QStringLiteral("请选择要记录文件信息的文件夹："));
    if (!folder)
        return;
    recordRun(*folder, 50, QStringLiteral("所选目录文件信息记录完毕!"));
}

void frmrec::Command2_Click()
{
    recordRun(programFolder(), 0, QStringLiteral("当前目录文件信息记录完毕!"));
}

void frmrec::Command5_Click()
{
    const QString path = Text4->text();
    if (path.isEmpty()) {
        platform().messageBox(this, QStringLiteral("没有输入要记录路径!"), MsgIcon::None);
        return;
    }
    recordRun(path, 0, QStringLiteral("该目录文件信息记录完毕!"));
}

void frmrec::Command3_Click()
{
    if (!m_store->isOpen()) {
        platform().messageBox(this, m_store->errorText(), MsgIcon::Information);
        return;
    }
    if (Data1->eof()) {
        platform().messageBox(this, QStringLiteral("没有记录!"), MsgIcon::Information);
        return;
    }
    Data1->moveFirst();
    if (!Data1->deleteAll()) {
        const QString error = Data1->lastError();
        Data1->requery();
        platform().messageBox(this, QStringLiteral("清空记录失败（%1），记录未被删除。").arg(error),
                              MsgIcon::Information);
        return;
    }
    refreshLog();
    platform().messageBox(this, QStringLiteral("已清空所有已记录文件信息"), MsgIcon::None);
}

void frmrec::Command4_Click()
{
    Frmlog log;
    // Over the main window, as the recorder itself.
    centreOn(&log, ownerWindow(this) ? ownerWindow(this) : window());
    log.setWindowModality(Qt::ApplicationModal);
    log.exec();
}

bool frmrec::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Text1 && event->type() == QEvent::FocusIn) {
        Text1_GotFocus();
        // A mouse press that brought the focus would place the caret after
        // this: select again once it has.
        QTimer::singleShot(0, this, [this] {
            if (Text1->hasFocus())
                Text1_GotFocus();
        });
    }
    return QDialog::eventFilter(watched, event);
}

void frmrec::Text1_GotFocus()
{
    const int length = int(Text1->text().size());
    // The whole text selected, the caret at position 0.
    Text1->setSelection(length, -length);
}

void frmrec::Label1_Click()
{
    QueryBySize();
}

void frmrec::QueryBySize()
{
    Text2->clear();
    const SizeRange range = sizeRange(Text1->text(), Text3->text(), Combo1->currentIndex());
    if (!range.valid() || !m_store->isOpen()) {
        platform().messageBox(this, QStringLiteral("没有记录"), MsgIcon::None);
        return;
    }
    if (!Data1->findFirst(range.lower, range.upper)) {
        platform().messageBox(this, QStringLiteral("没有记录"), MsgIcon::None);
        return;
    }
    if (Data1->noMatch()) {
        platform().messageBox(this, QStringLiteral("没有记录!"), MsgIcon::None);
        return;
    }
    QString found;
    bool failed = false;
    while (!Data1->noMatch()) {
        const std::optional<QVariant> name = Data1->field(QStringLiteral("FileName"));
        if (!name) {
            failed = true;
            break;
        }
        found += name->toString() + QLatin1Char('\n');
        if (!Data1->findNext(range.lower, range.upper)) {
            failed = true;
            break;
        }
    }
    Text2->setPlainText(found);
    Text2->moveCursor(QTextCursor::End);
    if (failed)
        platform().messageBox(this, QStringLiteral("没有记录"), MsgIcon::None);
}

}  // namespace kestrune
