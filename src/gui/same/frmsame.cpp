#include "gui/same/frmsame.h"

#include "core/fs/fsnames.h"
#include "core/fs/trash.h"
#include "core/same/samedelete.h"
#include "core/system/platform.h"
#include "core/system/textutil.h"
#include "gui/duplicates/frmdlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrune {

namespace {

constexpr int kGroupRole = Qt::UserRole;
constexpr int kFileRole = Qt::UserRole + 1;

}  // namespace

frmsame::frmsame(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmsame"));
    setWindowTitle(QStringLiteral("查找内容相同的文件"));
    keepOpenOnEscape(this);
    m_folders = new PathListModel(true, this);

    // The folders to search; a marked one is a reference folder.
    Frame1 = control<QGroupBox>(this, "Frame1", {}, QStringLiteral("被查找的文件夹列表(子文件夹自动处理，无需添加)"));
    Text1 = control<QLineEdit>(Frame1, "Text1", {});
    Image1 = browsePicture(Frame1, "Image1", {0, 0, 300, 330});
    List1 = control<MarkListView>(Frame1, "List1", {});
    List1->setModel(m_folders);
    Command1 = button(Frame1, "Command1", {}, QStringLiteral("添加到列表"));
    Command2 = button(Frame1, "Command2", {}, QStringLiteral("从列表删除"));
    Label4 = control<QLabel>(Frame1, "Label4", {},
                             QStringLiteral("勾选的文件夹为参照文件夹：\"每组保留一个\"保留其中的文件。"));
    setTextColour(Label4, QColor(0, 0, 192));

    Label2 = control<QLabel>(this, "Label2", {}, QStringLiteral("最小大小(字节)："));
    Text2 = control<QLineEdit>(this, "Text2", {});
    Text2->setPlaceholderText(QStringLiteral("不限"));
    Label3 = control<QLabel>(this, "Label3", {}, QStringLiteral("文件名："));
    Text3 = control<QLineEdit>(this, "Text3", {});
    Text3->setPlaceholderText(QStringLiteral("如 *.doc;*.xls，空为全部"));
    Command3 = button(this, "Command3", {}, QStringLiteral("开始查找"));

    Label1 = control<QLabel>(this, "Label1", {}, QStringLiteral("内容相同的文件(浪费空间最多的组在前)："));
    Tree1 = control<QTreeWidget>(this, "Tree1", {});
    Tree1->setHeaderLabels({QStringLiteral("文件"), QStringLiteral("修改时间")});
    Tree1->setRootIsDecorated(false);
    Tree1->setUniformRowHeights(true);
    Tree1->setTextElideMode(Qt::ElideMiddle);
    Tree1->header()->setStretchLastSection(false);
    Tree1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Tree1->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    Tree1->setMinimumSize(tw(9000), tw(3600));

    Command4 = button(this, "Command4", {}, QStringLiteral("每组保留一个"));
    Command5 = button(this, "Command5", {}, QStringLiteral("取消全选"));
    Command6 = button(this, "Command6", {}, QStringLiteral("删除所选"));
    Command7 = button(this, "Command7", {}, QStringLiteral("导出..."));
    Command8 = button(this, "Command8", {}, QStringLiteral("关闭"));

    // Laid out by their content: the window takes the size its controls need.
    auto* typed = new QHBoxLayout;
    typed->addWidget(Text1, 1);
    typed->addWidget(Image1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(Command1);
    listButtons->addWidget(Command2);
    listButtons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(List1, 1);
    listRow->addLayout(listButtons);
    List1->setMinimumHeight(tw(1500));
    auto* frame = new QVBoxLayout(Frame1);
    frame->addLayout(typed);
    frame->addLayout(listRow);
    frame->addWidget(Label4);

    auto* filters = new QHBoxLayout;
    filters->addWidget(Label2);
    filters->addWidget(Text2);
    filters->addSpacing(tw(240));
    filters->addWidget(Label3);
    filters->addWidget(Text3, 1);
    filters->addSpacing(tw(240));
    filters->addWidget(Command3);

    auto* bottom = new QHBoxLayout;
    for (QPushButton* b : {Command4, Command5, Command6, Command7})
        bottom->addWidget(b);
    bottom->addStretch(1);
    bottom->addWidget(Command8);

    auto* main = new QVBoxLayout(this);
    main->addWidget(Frame1);
    main->addLayout(filters);
    main->addWidget(Label1);
    main->addWidget(Tree1, 1);
    main->addLayout(bottom);
    adjustSize();

    connect(Image1, &ClickLabel::clicked, this, &frmsame::Image1_Click);
    connect(Command1, &QPushButton::clicked, this, &frmsame::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmsame::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmsame::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmsame::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmsame::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &frmsame::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &frmsame::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &frmsame::Command8_Click);
}

void frmsame::message(const QString& text)
{
    platform().messageBox(this, text, MsgIcon::Information);
}

void frmsame::closeEvent(QCloseEvent* event)
{
    // Closing stops a running batch as "取消" does.
    if (m_batch.holdClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------
// The folder list

void frmsame::Image1_Click()
{
    const std::optional<QString> chosen = platform().chooseFolder(this, QStringLiteral("请选择要查找的文件夹："));
    if (chosen)
        Text1->setText(*chosen);
}

void frmsame::Command1_Click()
{
    switch (addTypedEntry(*m_folders, Text1->text())) {
    case AddOutcome::Blank:
        message(QStringLiteral("路径为空!无法添加!"));
        Text1->clear();
        break;
    case AddOutcome::Duplicate:
        message(QStringLiteral("列表已存在相同项，请勿重复添加"));
        break;
    case AddOutcome::Added:
        Text1->clear();
        break;
    }
}

void frmsame::Command2_Click()
{
    const int row = List1->selectedRow();
    if (row < 0)
        return;
    m_folders->removeAt(row);
    List1->clearSelection();
}

// ---------------------------------------------------------------------------
// The search

void frmsame::Command3_Click()
{
    if (m_folders->count() == 0) {
        message(QStringLiteral("被查找的文件夹列表为空,请先添加文件夹到列表!"));
        return;
    }
    SameOptions options;
    for (const QString& entry : m_folders->entries())
        options.folders << trimBlanks(entry);
    const QString minText = trimBlanks(Text2->text());
    if (!minText.isEmpty()) {
        bool ok = false;
        options.minSize = minText.toLongLong(&ok);
        if (!ok || options.minSize < 0) {
            message(QStringLiteral("最小大小必须是不小于0的整数(字节)!"));
            return;
        }
    }
    options.pattern = trimBlanks(Text3->text());
    for (const QString& folder : std::as_const(options.folders))
        m_roots.add(folder);
    m_batch.run<SameResult>([options](ProgressSink& progress) { return findSameFiles(options, &progress); },
                            [this](SameResult result) {
                                if (result.cancelled) {
                                    message(BatchProgress::cancelledText(result.filesHashed));
                                    return;
                                }
                                qint64 wasted = 0;
                                for (const SameGroup& g : result.groups)
                                    wasted += g.wasted();
                                const int count = int(result.groups.size());
                                showGroups(std::move(result.groups));
                                QString text = QStringLiteral("查找完毕！共查找 %1 个文件，找到 %2 组内容相同的文件，可释放 %3。")
                                                   .arg(result.filesWalked)
                                                   .arg(count)
                                                   .arg(readableSize(wasted));
                                if (!result.unreadable.empty())
                                    text += QStringLiteral("\n以下文件或文件夹无法读取，未参与比较：\n")
                                            + problemLines(result.unreadable);
                                message(text);
                            });
}

void frmsame::showGroups(std::vector<SameGroup> groups)
{
    m_groups = std::move(groups);
    Tree1->clear();
    QList<QTreeWidgetItem*> items;
    for (int g = 0; g < int(m_groups.size()); ++g) {
        const SameGroup& group = m_groups[g];
        auto* header = new QTreeWidgetItem({groupHeader(group)});
        header->setFlags(Qt::ItemIsEnabled);
        header->setFirstColumnSpanned(false);
        QFont bold = header->font(0);
        bold.setBold(true);
        header->setFont(0, bold);
        items << header;
        for (int f = 0; f < int(group.files.size()); ++f) {
            const SameFile& file = group.files[f];
            const QString shown = displayFileName(file.path);
            auto* item = new QTreeWidgetItem(
                {shown, QDateTime::fromMSecsSinceEpoch(file.modifiedNs / 1000000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
            item->setToolTip(0, shown);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setData(0, kGroupRole, g);
            item->setData(0, kFileRole, f);
            items << item;
        }
    }
    Tree1->addTopLevelItems(items);
}

QTreeWidgetItem* frmsame::fileItem(int group, int file) const
{
    for (int i = 0; i < Tree1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = Tree1->topLevelItem(i);
        if (item->data(0, kGroupRole).isValid() && item->data(0, kGroupRole).toInt() == group
            && item->data(0, kFileRole).toInt() == file)
            return item;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Checks, deletes, export

void frmsame::Command4_Click()
{
    // Every file but one per group: the oldest, or the oldest in a reference folder.
    QStringList reference;
    for (int i = 0; i < m_folders->count(); ++i)
        if (m_folders->isMarked(i))
            reference << trimBlanks(m_folders->entry(i));
    std::vector<int> keepers;
    for (const SameGroup& g : m_groups)
        keepers.push_back(keeperOf(g, KeepRule::Oldest, reference));
    for (int i = 0; i < Tree1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = Tree1->topLevelItem(i);
        if (!item->data(0, kGroupRole).isValid())
            continue;
        const bool keep = keepers[size_t(item->data(0, kGroupRole).toInt())] == item->data(0, kFileRole).toInt();
        item->setCheckState(0, keep ? Qt::Unchecked : Qt::Checked);
    }
}

void frmsame::Command5_Click()
{
    for (int i = 0; i < Tree1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = Tree1->topLevelItem(i);
        if (item->data(0, kGroupRole).isValid())
            item->setCheckState(0, Qt::Unchecked);
    }
}

void frmsame::Command6_Click()
{
    QSet<QPair<int, int>> checked;
    for (int i = 0; i < Tree1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = Tree1->topLevelItem(i);
        if (item->data(0, kGroupRole).isValid() && item->checkState(0) == Qt::Checked)
            checked.insert({item->data(0, kGroupRole).toInt(), item->data(0, kFileRole).toInt()});
    }
    if (checked.isEmpty()) {
        message(QStringLiteral("请先勾选要删除的文件!"));
        return;
    }
    struct Deleted {
        SameDeleteOutcome outcome;
        std::vector<SameProblem> refused;
    };
    std::vector<SameProblem> refused;
    const std::vector<SameDeletion> plan = planDeletions(
        m_groups, [&checked](int g, int f) { return checked.contains({g, f}); }, KeepRule::Oldest, {}, &refused);
    // The main menu's choice as the batch starts.
    const bool toTrash = deleteToTrashSetting();
    m_batch.run<Deleted>(
        [plan, toTrash, refused, roots = m_roots](ProgressSink& progress) {
            return Deleted{deleteCopies(plan, toTrash, &progress, roots), refused};
        },
        [this](Deleted deleted) {
            // The files deleted leave their groups; a group of one is no group.
            const QSet<QString> gone(deleted.outcome.deleted.begin(), deleted.outcome.deleted.end());
            std::vector<SameGroup> left;
            for (SameGroup g : m_groups) {
                g.files.erase(std::remove_if(g.files.begin(), g.files.end(),
                                             [&gone](const SameFile& f) { return gone.contains(f.path); }),
                              g.files.end());
                if (g.files.size() > 1)
                    left.push_back(std::move(g));
            }
            showGroups(std::move(left));
            QString text = deleted.outcome.cancelled ? BatchProgress::cancelledText(deleted.outcome.handled)
                                                     : QStringLiteral("已删除 %1 个文件。").arg(gone.size());
            std::vector<SameProblem> kept = deleted.refused;
            kept.insert(kept.end(), deleted.outcome.kept.begin(), deleted.outcome.kept.end());
            if (!kept.empty())
                text += QStringLiteral("\n以下文件未删除：\n") + problemLines(kept);
            message(text);
        });
}

void frmsame::Command7_Click()
{
    if (m_groups.empty()) {
        message(QStringLiteral("没有可导出的结果!"));
        return;
    }
    const QString path = platform().saveFile(this, QStringLiteral("CSV 文件(*.csv)|*.csv"));
    if (path.isEmpty())
        return;
    QString why;
    if (!writeSameCsv(path, m_groups, &why))
        message(QStringLiteral("无法写入 %1：%2").arg(displayFileNameInLine(path), why));
}

void frmsame::Command8_Click()
{
    close();
}

}  // namespace kestrune
