#include "gui/duplicates/frmdlg.h"

#include "gui/common/batchprogress.h"
#include "core/batch/failurelist.h"
#include "core/duplicates/listdelete.h"
#include "core/system/platform.h"
#include "core/fs/trash.h"
#include "core/same/samedelete.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QStyledItemDelegate>

#include <optional>

namespace kestrune {

namespace {

const QString kNotDeleted = QStringLiteral("以下文件未能删除:");
const QString kSettingsSection = QStringLiteral("Duplicates");
const QString kSameOnlyKey = QStringLiteral("只删除内容相同的文件");

// Every entry as wide as the list: a long path is shortened in the middle
// instead of widening the list to its longest entry.
class ListWidthDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(1);
        return size;
    }
};

}  // namespace

// ---------------------------------------------------------------------------

PathListView::PathListView(QWidget* parent) : QListView(parent)
{
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new ListWidthDelegate(this));
}

int PathListView::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

MarkListView::MarkListView(QWidget* parent) : PathListView(parent)
{
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (auto* m = qobject_cast<PathListModel*>(model()))
            m->toggleMarked(index.row());
    });
}

void MarkListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        if (auto* m = qobject_cast<PathListModel*>(model()))
            m->toggleMarked(currentIndex().row());
        event->accept();
        return;
    }
    PathListView::keyPressEvent(event);
}

// ---------------------------------------------------------------------------

FrmDlg::FrmDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmDlg"));
    setWindowTitle(QStringLiteral("查找和管理重复文件"));
    setFixedSize(tw(9420), tw(8505));
    keepOpenOnEscape(this);

    m_files = new PathListModel(false, this);
    m_folders = new PathListModel(false, this);
    m_found = new PathListModel(true, this);

    // Files to look for.
    Frame1 = control<QGroupBox>(this, "Frame1", {120, 120, 4350, 3750}, QStringLiteral("要查找的文件列表"));
    Text1 = control<QLineEdit>(Frame1, "Text1", {120, 300, 3750, 330});
    Image1 = browsePicture(Frame1, "Image1", {3930, 300, 300, 330});
    List1 = control<PathListView>(Frame1, "List1", {120, 750, 2490, 2880});
    List1->setModel(m_files);
    Command1 = button(Frame1, "Command1", {2730, 750, 1500, 390}, QStringLiteral("添加到列表"));
    Command3 = button(Frame1, "Command3", {2730, 1230, 1500, 390}, QStringLiteral("从列表删除"));
    Command4 = button(Frame1, "Command4", {2730, 1710, 1500, 390}, QStringLiteral("添加目录到列表"));

    // Folders to search.
    Frame2 = control<QGroupBox>(this, "Frame2", {4590, 120, 4710, 3750},
                                QStringLiteral("被查找的文件夹列表(子文件夹自动处理，无需添加)"));
    Text2 = control<QLineEdit>(Frame2, "Text2", {120, 300, 4470, 330});
    List2 = control<PathListView>(Frame2, "List2", {120, 750, 2850, 2880});
    List2->setModel(m_folders);
    Command2 = button(Frame2, "Command2", {3090, 750, 1500, 390}, QStringLiteral("添加到列表"));
    Command5 = button(Frame2, "Command5", {3090, 1230, 1500, 390}, QStringLiteral("从列表删除"));
    Command6 = button(Frame2, "Command6", {3090, 1710, 1500, 390}, QStringLiteral("添加目录到列表"));

    Command7 = button(this, "Command7", {3960, 3975, 1500, 420}, QStringLiteral("开始查找"));

    // Files found.
    Label1 = control<QLabel>(this, "Label1", {120, 4200, 2700, 270}, QStringLiteral("查找到的文件列表："));
    List3 = control<MarkListView>(this, "List3", {120, 4500, 9180, 3060});
    List3->setModel(m_found);
    m_found->setContentIcons(style()->standardIcon(QStyle::SP_DialogApplyButton),
                             style()->standardIcon(QStyle::SP_MessageBoxWarning));
    Check1 = control<QCheckBox>(this, "Check1", {120, 7650, 4500, 300}, QStringLiteral("只删除内容相同的文件"));
    Check1->setChecked(platform().getSetting(settingsAppName(), kSettingsSection, kSameOnlyKey,
                                             QStringLiteral("0")).trimmed() == QLatin1String("1"));

    const struct {
        QPushButton** control;
        const char* name;
        const char* caption;
    } bottomRow[] = {
        {&Command9, "Command9", "全部选中"},  {&Command8, "Command8", "取消全选"},   {&Command10, "Command10", "删除"},
        {&Command11, "Command11", "删除所选"}, {&Command12, "Command12", "删除全部"}, {&Command13, "Command13", "关闭"},
    };
    int left = 120;
    for (const auto& b : bottomRow) {
        *b.control = button(this, b.name, {left, 8010, 1440, 390}, QString::fromUtf8(b.caption));
        left += 1548;
    }

    connect(Command1, &QPushButton::clicked, this, &FrmDlg::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmDlg::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &FrmDlg::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &FrmDlg::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &FrmDlg::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &FrmDlg::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &FrmDlg::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &FrmDlg::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &FrmDlg::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &FrmDlg::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &FrmDlg::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &FrmDlg::Command12_Click);
    connect(Command13, &QPushButton::clicked, this, &FrmDlg::Command13_Click);
    connect(Image1, &ClickLabel::clicked, this, &FrmDlg::Image1_Click);
    connect(Check1, &QCheckBox::clicked, this, &FrmDlg::Check1_Click);
}

void FrmDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Opens centred over its owner, the main window.
    const QWidget* owner = ownerWindow(this);
    centreOn(this, owner);
}

void FrmDlg::message(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

// ---------------------------------------------------------------------------
// Building the two lists

void FrmDlg::Command1_Click()
{
    switch (addTypedEntry(*m_files, Text1->text())) {
    case AddOutcome::Blank:
        message(QStringLiteral("路径为空!无法添加!"));
        Text1->clear();
        break;
    case AddOutcome::Duplicate:
        // The text stays for the user to correct.
        message(QStringLiteral("列表已存在相同项，请勿重复添加"));
        break;
    case AddOutcome::Added:
        Text1->clear();
        break;
    }
}

void FrmDlg::Command2_Click()
{
    switch (addTypedEntry(*m_folders, Text2->text())) {
    case AddOutcome::Blank:
        message(QStringLiteral("路径为空!无法添加!"));
        Text2->clear();
        break;
    case AddOutcome::Duplicate:
        message(QStringLiteral("列表已存在相同项，请勿重复添加"));
        break;
    case AddOutcome::Added:
        Text2->clear();
        break;
    }
}

void FrmDlg::Command3_Click()
{
    const int row = List1->selectedRow();
    if (row < 0)
        return;
    m_files->removeAt(row);
    List1->clearSelection();
}

void FrmDlg::Command5_Click()
{
    const int row = List2->selectedRow();
    if (row < 0)
        return;
    m_folders->removeAt(row);
    List2->clearSelection();
}

void FrmDlg::Command4_Click()
{
    const std::optional<QString> chosen = platform().chooseFolder(this, QStringLiteral("请选择想添加的文件夹："));
    if (!chosen)
        return;
    Folder folder;
    bool empty = false;
    try {
        folder = m_fso.GetFolder(*chosen);
        empty = folder.FileCount() == 0 && folder.SubFolderCount() == 0;
    } catch (const FsError& e) {
        message(QStringLiteral("无法打开所选文件夹：%1\n%2").arg(*chosen, e.message()));
        return;
    }
    if (empty) {
        message(QStringLiteral("所选文件夹是空的!"));
        return;
    }
    dieda(folder);
}

void FrmDlg::Command6_Click()
{
    const std::optional<QString> chosen = platform().chooseFolder(this, QStringLiteral("请选择想添加的文件夹："));
    if (!chosen)
        return;
    m_folders->append(*chosen);
}

void FrmDlg::Image1_Click()
{
    const std::optional<QString> chosen = platform().openFile(this, QStringLiteral("所有文件|*.*"));
    if (chosen && !chosen->isEmpty())
        Text1->setText(*chosen);
}

void FrmDlg::closeEvent(QCloseEvent* event)
{
    // Closing stops a running batch as "取消" does; the window closes once
    // the file in hand is done.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmDlg::dieda(const Folder& b)
{
    struct Added {
        QStringList paths;
        bool stopped = false;
    };
    const QStringList listed = m_files->entries();
    m_batch.run<Added>(
        [path = b.Path(), listed](ProgressSink& progress) {
            Added added;
            added.paths = newPathsOfTree(path, listed, &progress, &added.stopped);
            return added;
        },
        [this](Added added) {
            // What was found before a cancel is kept.
            m_files->append(added.paths);
            if (added.stopped)
                message(BatchProgress::cancelledText(int(added.paths.size())));
        });
}

// ---------------------------------------------------------------------------
// The search

void FrmDlg::dieda2(const File& searchfile, const Folder& b)
{
    QStringList matches;
    m_roots.add(b.Path());
    m_search.match(searchfile, b, matches);
    m_found->append(matches);
}

void FrmDlg::Command7_Click()
{
    if (m_files->count() == 0) {
        message(QStringLiteral("要查找的文件列表为空,请先添加文件到列表!"));
        return;
    }
    if (m_folders->count() == 0) {
        message(QStringLiteral("被查找的文件夹列表为空,请先添加文件夹到列表!"));
        return;
    }
    const QStringList files = m_files->entries();
    const QStringList folders = m_folders->entries();
    for (const QString& folder : folders)
        m_roots.add(folder);
    struct Searched {
        DuplicateSearch::Outcome outcome;
        ContentMarks marks;
    };
    m_batch.run<Searched>(
        [files, folders](ProgressSink& progress) {
            progress.setTotal(int(files.size()));
            const FileSystemObject fso;
            DuplicateSearch search(fso);
            Searched searched;
            searched.outcome = search.run(files, folders, &progress);
            // Then each file found is compared with the listed files of its name.
            if (!searched.outcome.cancelled)
                searched.marks = markFoundContents(files, searched.outcome.found, &progress);
            return searched;
        },
        [this](Searched searched) {
            // A cancelled search keeps what it found; what was not compared
            // has no mark.
            const DuplicateSearch::Outcome& outcome = searched.outcome;
            m_found->append(outcome.found, std::move(searched.marks.contents));
            if (outcome.cancelled)
                message(BatchProgress::cancelledText(outcome.searched));
            else if (searched.marks.cancelled)
                message(BatchProgress::cancelledText(searched.marks.compared));
            else
                message(searchDoneMessage(outcome.skipped));
        });
}

// ---------------------------------------------------------------------------
// Marks and deletion

void FrmDlg::Command9_Click()
{
    m_found->setAllMarked(true);
}

void FrmDlg::Command8_Click()
{
    m_found->setAllMarked(false);
}

void FrmDlg::Check1_Click()
{
    platform().saveSetting(settingsAppName(), kSettingsSection, kSameOnlyKey,
                           Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void FrmDlg::Command10_Click()
{
    const QModelIndex current = List3->currentIndex();
    if (!current.isValid())
        return;
    if (Check1->isChecked()) {
        deleteCopiesOf({current.row()});
        return;
    }
    std::optional<TrashCan> trash;
    if (deleteToTrashSetting())
        trash.emplace();
    const QString path = m_found->entry(current.row());
    QString why;
    if (!deleteFoundFile(m_fso, m_roots, path, trash ? &*trash : nullptr, &why)) {
        FailureList failed;
        failed.add(path, why);
        message(failureMessage(kNotDeleted, failed));
    }
}

void FrmDlg::Command11_Click()
{
    // The entries stay, marked as they were; what cannot be deleted is passed over.
    deleteEntries(true);
}

void FrmDlg::Command12_Click()
{
    deleteEntries(false);
}

void FrmDlg::deleteEntries(bool markedOnly)
{
    if (Check1->isChecked()) {
        std::vector<int> rows;
        for (int i = 0; i < m_found->count(); ++i)
            if (!markedOnly || m_found->isMarked(i))
                rows.push_back(i);
        deleteCopiesOf(rows);
        return;
    }
    QStringList paths;
    for (int i = 0; i < m_found->count(); ++i)
        if (!markedOnly || m_found->isMarked(i))
            paths << m_found->entry(i);
    // The main menu's choice as the batch starts.
    const bool toTrash = deleteToTrashSetting();
    m_batch.run<ListedDeletion>(
        [paths, toTrash, roots = m_roots](ProgressSink& progress) {
            return deleteListedFiles(paths, toTrash, progress, roots);
        },
        [this](ListedDeletion deleted) {
            // The entries stay, marked as they were. A cancel and the files
            // left undone are told in one message; a run that deleted every
            // file says nothing.
            FailureList failed;
            for (const auto& [path, why] : std::as_const(deleted.notDeleted))
                failed.add(path, why);
            const QString text = batchEndText(deleted.cancelled, deleted.handled, kNotDeleted, failed);
            if (!text.isEmpty())
                message(text);
        });
}

void FrmDlg::deleteCopiesOf(const std::vector<int>& rows)
{
    // Each file once, against the listed file it was found to equal.
    std::vector<SameDeletion> plan;
    QSet<QString> planned;
    int skipped = 0;
    for (int row : rows) {
        const FoundContent& c = m_found->content(row);
        if (c.mark != ContentMark::Same) {
            ++skipped;
            continue;
        }
        if (!planned.contains(c.found.path)) {
            planned.insert(c.found.path);
            plan.push_back({c.found, c.listed});
        }
    }
    if (plan.empty()) {
        if (skipped > 0)
            message(QStringLiteral("没有与要查找的文件内容相同的文件，未删除任何文件。"));
        return;
    }
    // The main menu's choice as the batch starts.
    const bool toTrash = deleteToTrashSetting();
    m_batch.run<SameDeleteOutcome>(
        [plan, toTrash, roots = m_roots](ProgressSink& progress) {
            return deleteCopies(plan, toTrash, &progress, roots);
        },
        [this, skipped](SameDeleteOutcome outcome) {
            // The entries stay, marked as they were.
            QString text = outcome.cancelled ? BatchProgress::cancelledText(outcome.handled)
                                             : QStringLiteral("已删除 %1 个文件。").arg(outcome.deleted.size());
            if (skipped > 0)
                text += QStringLiteral("\n跳过 %1 项内容不同或未比较的文件。").arg(skipped);
            if (!outcome.kept.empty())
                text += QStringLiteral("\n以下文件未删除：\n") + problemLines(outcome.kept);
            message(text);
        });
}

void FrmDlg::Command13_Click()
{
    close();
}

}  // namespace kestrune
