#include "gui/duplicates/frmdlg.h"
#include "gui/common/batchprogress.h"

#include "app/mdiform1.h"
#include "app/windowcatalog.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "support/rawnames.h"
#include "support/trashsupport.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/fs/trash.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::Interaction;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A left click on one entry of a list, as the user makes it.
void clickEntry(QListView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    const QPoint p = view->visualRect(index).center();
    const QPoint global = view->viewport()->mapToGlobal(p);
    QMouseEvent press(QEvent::MouseButtonPress, p, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &release);
}

void select(QListView* view, int row)
{
    view->setCurrentIndex(view->model()->index(row, 0));
}

std::vector<bool> marks(PathListModel& m)
{
    std::vector<bool> out;
    for (int i = 0; i < m.count(); ++i)
        out.push_back(m.isMarked(i));
    return out;
}

// A window with shown controls, as the menu opens it.
struct Shown {
    FrmDlg w;
    Shown()
    {
        w.show();
        QApplication::processEvents();
    }
};

}  // namespace

TEST(FrmDlgWindow, HasEveryControlWithItsCaptionInItsPlace)
{
    FrmDlg w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("查找和管理重复文件"));
    EXPECT_EQ(w.size(), QSize(628, 567));

    const std::pair<QPushButton*, const char*> buttons[] = {
        {w.Command1, "添加到列表"}, {w.Command3, "从列表删除"}, {w.Command4, "添加目录到列表"},
        {w.Command2, "添加到列表"}, {w.Command5, "从列表删除"}, {w.Command6, "添加目录到列表"},
        {w.Command7, "开始查找"},   {w.Command9, "全部选中"},   {w.Command8, "取消全选"},
        {w.Command10, "删除"},      {w.Command11, "删除所选"},  {w.Command12, "删除全部"},
        {w.Command13, "关闭"},
    };
    for (const auto& [b, caption] : buttons) {
        EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault());
        // The whole caption fits.
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << b->objectName().toStdString();
    }
    EXPECT_EQ(w.Frame1->title(), QStringLiteral("要查找的文件列表"));
    EXPECT_EQ(w.Frame2->title(), QStringLiteral("被查找的文件夹列表(子文件夹自动处理，无需添加)"));
    for (QGroupBox* f : {w.Frame1, w.Frame2})
        EXPECT_LE(f->fontMetrics().horizontalAdvance(f->title()) + 8, f->width());
    EXPECT_EQ(w.Label1->text(), QStringLiteral("查找到的文件列表："));
    EXPECT_LE(w.Label1->fontMetrics().horizontalAdvance(w.Label1->text()), w.Label1->width());
    EXPECT_EQ(w.Image1->toolTip(), QStringLiteral("浏览"));
    EXPECT_TRUE(w.Text1->text().isEmpty());
    EXPECT_TRUE(w.Text2->text().isEmpty());

    // Each control in its group, and nothing overlaps or leaves its container.
    for (QWidget* c : std::initializer_list<QWidget*>{w.Text1, w.Image1, w.List1, w.Command1, w.Command3, w.Command4})
        EXPECT_EQ(c->parentWidget(), w.Frame1) << c->objectName().toStdString();
    for (QWidget* c : std::initializer_list<QWidget*>{w.Text2, w.List2, w.Command2, w.Command5, w.Command6})
        EXPECT_EQ(c->parentWidget(), w.Frame2) << c->objectName().toStdString();
    for (QWidget* container : std::initializer_list<QWidget*>{&w, w.Frame1, w.Frame2}) {
        const QList<QWidget*> kids = container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* a : kids) {
            if (a->objectName().isEmpty())
                continue;
            EXPECT_TRUE(container->rect().contains(a->geometry())) << a->objectName().toStdString();
            for (QWidget* b : kids) {
                if (a != b && !b->objectName().isEmpty()) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " / " << b->objectName().toStdString();
                }
            }
        }
    }

    // The groups side by side, each with the list below its text box and the
    // buttons to the right of the list; the search button between the groups
    // and the found files; the bottom row in its order.
    EXPECT_LT(w.Frame1->geometry().right(), w.Frame2->geometry().left());
    EXPECT_GT(w.List1->y(), w.Text1->geometry().bottom());
    EXPECT_GT(w.Command1->x(), w.List1->geometry().right());
    EXPECT_GT(w.Command2->x(), w.List2->geometry().right());
    EXPECT_GT(w.Command7->y(), w.Frame1->geometry().bottom());
    EXPECT_LT(w.Command7->geometry().bottom(), w.List3->y());
    EXPECT_GT(w.List3->width(), w.Frame1->width() + w.Frame2->width());
    QPushButton* row[] = {w.Command9, w.Command8, w.Command10, w.Command11, w.Command12, w.Command13};
    for (int i = 0; i < 6; ++i) {
        EXPECT_GT(row[i]->y(), w.List3->geometry().bottom());
        EXPECT_EQ(row[i]->y(), row[0]->y());
        if (i > 0) {
            EXPECT_GT(row[i]->x(), row[i - 1]->geometry().right());
        }
    }

    // Set KESTRUNE_SCREENSHOTS to a folder to look at the window.
    const QString shots = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
    if (!shots.isEmpty()) {
        w.show();
        QApplication::processEvents();
        EXPECT_TRUE(w.grab().save(shots + QStringLiteral("/FrmDlg.png")));
    }
}

TEST(FrmDlgWindow, OpensFromTheMenuModelessOwnedAndCentredOverTheMainWindow)
{
    bool found = false;
    for (const ToolWindowEntry& e : toolWindowCatalog()) {
        if (e.menuName != QStringLiteral("g1"))
            continue;
        found = true;
        EXPECT_FALSE(e.modal);
        EXPECT_TRUE(e.owned);
        EXPECT_TRUE(bool(e.create));
    }
    EXPECT_TRUE(found);

    MDIForm1 main;
    EXPECT_TRUE(main.g1->isEnabled());
    main.setGeometry(120, 90, 700, 500);
    main.show();
    QApplication::processEvents();
    QWidget* window = main.showToolWindow(QStringLiteral("g1"));
    QApplication::processEvents();
    auto* w = qobject_cast<FrmDlg*>(window);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), &main);
    EXPECT_FALSE(w->isModal());
    const QRect m = main.frameGeometry();
    const QRect f = w->frameGeometry();
    EXPECT_NEAR(f.left(), m.left() + (m.width() - f.width()) / 2, 1);
    EXPECT_NEAR(f.top(), m.top() + (m.height() - f.height()) / 2, 1);
    // Choosing the entry again shows the same window with its lists.
    w->files().append(QStringLiteral("/x"));
    EXPECT_EQ(main.showToolWindow(QStringLiteral("g1")), w);

    // Escape does not close it (the lists would be lost); the close button
    // unloads it, and the next choice starts with empty lists.
    QPointer<FrmDlg> old = w;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(old.isNull());
    EXPECT_TRUE(w->isVisible());
    w->Command13->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    auto* again = qobject_cast<FrmDlg*>(main.showToolWindow(QStringLiteral("g1")));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->files().count(), 0);
}

TEST(FrmDlgWindow, AddingTypedTextRefusesBlankAndExactRepeats)
{
    FrmDlg w;
    struct Side {
        QLineEdit* text;
        QPushButton* add;
        PathListModel& list;
    };
    for (const Side& s : {Side{w.Text1, w.Command1, w.files()}, Side{w.Text2, w.Command2, w.folders()}}) {
        scripted().clear();
        s.text->setText(QStringLiteral("   "));
        s.add->click();
        EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("路径为空!无法添加!")}));
        EXPECT_TRUE(s.text->text().isEmpty());
        EXPECT_EQ(s.list.count(), 0);

        s.text->setText(QStringLiteral("/data/Readme.txt"));
        s.add->click();
        EXPECT_TRUE(s.text->text().isEmpty());
        s.text->setText(QStringLiteral("/data/Readme.txt"));
        s.add->click();
        EXPECT_EQ(scripted().messages().last(), QStringLiteral("列表已存在相同项，请勿重复添加"));
        EXPECT_EQ(s.text->text(), QStringLiteral("/data/Readme.txt"));  // kept for correcting

        // Another letter case, or a blank after it, is a new entry, kept as typed.
        for (const QString& t : {QStringLiteral("/data/README.txt"), QStringLiteral("/data/Readme.txt ")}) {
            s.text->setText(t);
            s.add->click();
        }
        EXPECT_EQ(s.list.entries(), QStringList({QStringLiteral("/data/Readme.txt"), QStringLiteral("/data/README.txt"),
                                                 QStringLiteral("/data/Readme.txt ")}));
        EXPECT_EQ(scripted().messages().size(), 2);
        for (const Interaction& i : scripted().of(Interaction::Message)) {
            EXPECT_EQ(i.icon, MsgIcon::Information);
            EXPECT_EQ(i.owner, &w);
        }
    }
}

TEST(FrmDlgWindow, RemovesOnlyTheSelectedEntry)
{
    Shown s;
    FrmDlg& w = s.w;
    w.files().append({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    w.folders().append({QStringLiteral("x"), QStringLiteral("y")});
    w.Command3->click();
    w.Command5->click();
    EXPECT_EQ(w.files().count(), 3);
    EXPECT_EQ(w.folders().count(), 2);

    select(w.List1, 1);
    w.Command3->click();
    EXPECT_EQ(w.files().entries(), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    // Nothing is selected afterwards: a second click removes nothing.
    w.Command3->click();
    EXPECT_EQ(w.files().count(), 2);

    select(w.List2, 0);
    w.Command5->click();
    EXPECT_EQ(w.folders().entries(), QStringList({QStringLiteral("y")}));
    EXPECT_TRUE(scripted().messages().isEmpty());
}

TEST(FrmDlgWindow, AddsAChosenFolderTreeToTheFilesOnceAndEveryFolderAsChosen)
{
    TempDir t;
    t.write("d/b.txt");
    t.write("d/A.txt");
    t.write("d/s/c.txt");
    t.mkdir("empty");
    FrmDlg w;
    auto& sp = scripted();
    sp.folders = {std::nullopt, t.file("empty"), t.file("d"), t.file("d"), t.file("gone")};

    w.Command4->click();  // cancelled
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.files().count(), 0);
    EXPECT_TRUE(sp.messages().isEmpty());
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("所选文件夹是空的!")}));
    EXPECT_EQ(w.files().count(), 0);

    int inserts = 0;
    QObject::connect(&w.files(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    const QStringList tree = {native(t.file("d/A.txt")), native(t.file("d/b.txt")), native(t.file("d/s/c.txt"))};
    EXPECT_EQ(w.files().entries(), tree);
    EXPECT_EQ(inserts, 1);  // one change for the view, however many files
    w.Command4->click();    // the same folder again adds nothing, silently
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.files().entries(), tree);
    EXPECT_EQ(sp.messages().size(), 1);

    // A folder that vanished before it was opened is reported, not expanded.
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(sp.messages().size(), 2);
    EXPECT_TRUE(sp.messages().last().contains(t.file("gone")));
    EXPECT_EQ(w.files().entries(), tree);

    for (const Interaction& i : sp.of(Interaction::Folder)) {
        EXPECT_EQ(i.text, QStringLiteral("请选择想添加的文件夹："));
        EXPECT_EQ(i.owner, &w);
    }

    sp.clear();
    sp.folders = {std::nullopt, t.file("d"), t.file("d")};
    w.Command6->click();
    EXPECT_EQ(w.folders().count(), 0);
    w.Command6->click();
    w.Command6->click();
    EXPECT_EQ(w.folders().entries(), QStringList({t.file("d"), t.file("d")}));
    EXPECT_TRUE(sp.messages().isEmpty());
    EXPECT_EQ(sp.of(Interaction::Folder).back().text, QStringLiteral("请选择想添加的文件夹："));
}

TEST(FrmDlgWindow, BrowsePutsTheChosenFileIntoTheBoxAndCancelKeepsIt)
{
    FrmDlg w;
    auto& sp = scripted();
    sp.openFiles = {QStringLiteral("/data/one.txt"), std::nullopt, QString()};
    w.Image1_Click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/one.txt"));
    EXPECT_EQ(w.files().count(), 0);  // added only with the add button
    w.Image1_Click();
    w.Image1_Click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/one.txt"));
    ASSERT_EQ(sp.of(Interaction::OpenFile).size(), 3u);
    EXPECT_EQ(sp.of(Interaction::OpenFile).front().text, QStringLiteral("所有文件|*.*"));
}

TEST(FrmDlgWindow, SearchRefusesEmptyListsAndAccumulatesResults)
{
    TempDir t;
    const QString wanted = t.write("a/Readme.TXT");
    t.write("b/readme.txt");
    t.write("b/x/README.TXT");
    t.mkdir("c");
    FrmDlg w;
    auto& sp = scripted();

    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    w.folders().append(t.file("b"));
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    w.folders().removeAt(0);
    w.files().append(wanted);
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("要查找的文件列表为空,请先添加文件到列表!"),
                                          QStringLiteral("要查找的文件列表为空,请先添加文件到列表!"),
                                          QStringLiteral("被查找的文件夹列表为空,请先添加文件夹到列表!")}));
    EXPECT_EQ(w.found().count(), 0);

    sp.clear();
    w.folders().append({t.file("c"), QStringLiteral(" ") + t.file("b"), t.file("a")});
    int foundWhenTold = -1;
    sp.onMessage = [&](const QString&) { foundWhenTold = w.found().count(); };
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    const QStringList once = {native(t.file("b/readme.txt")), native(t.file("b/x/README.TXT")), native(wanted)};
    EXPECT_EQ(w.found().entries(), once);
    EXPECT_EQ(foundWhenTold, 3);
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("查找完毕！")}));
    EXPECT_EQ(sp.of(Interaction::Message).back().icon, MsgIcon::Information);

    // A second search appends again, after the marks the first results got.
    w.found().setMarked(1, true);
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.found().entries(), once + once);
    EXPECT_EQ(marks(w.found()), std::vector<bool>({false, true, false, false, false, false}));

    // Entries that cannot be opened are skipped and named.
    sp.clear();
    w.files().append(t.file("a/gone.txt"));
    w.folders().append(t.file("nofolder"));
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.found().count(), 9);
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("查找完毕！\n以下条目无法打开,已跳过:\n") + t.file("a/gone.txt") +
                                          QStringLiteral("\n") + t.file("nofolder")}));

    // The single-pair matcher appends in walk order as well.
    FileSystemObject fso;
    w.dieda2(fso.GetFile(wanted), fso.GetFolder(t.file("b")));
    EXPECT_EQ(w.found().entries().mid(9), once.mid(0, 2));
}

TEST(FrmDlgWindow, ClicksToggleMarksOfAnyNumberOfEntries)
{
    Shown s;
    FrmDlg& w = s.w;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths << QStringLiteral("/f/%1").arg(i);
    w.found().append(paths);
    QApplication::processEvents();

    clickEntry(w.List3, 2);
    clickEntry(w.List3, 5);
    clickEntry(w.List3, 39);
    EXPECT_EQ(w.found().markedCount(), 3);
    EXPECT_TRUE(w.found().isMarked(2) && w.found().isMarked(5) && w.found().isMarked(39));
    EXPECT_EQ(w.List3->currentIndex().row(), 39);
    clickEntry(w.List3, 5);
    EXPECT_FALSE(w.found().isMarked(5));
    EXPECT_EQ(w.List3->currentIndex().row(), 5);
    EXPECT_EQ(w.found().index(2).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(w.found().index(5).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

    // The space bar toggles the current entry.
    w.List3->setFocus();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(w.List3, &space);
    EXPECT_TRUE(w.found().isMarked(5));
    EXPECT_EQ(w.found().markedCount(), 3);

    w.Command9->click();
    EXPECT_EQ(w.found().markedCount(), 40);
    w.Command8->click();
    EXPECT_EQ(w.found().markedCount(), 0);
    EXPECT_EQ(w.found().count(), 40);
}

TEST(FrmDlgWindow, DeletesCurrentMarkedOrAllFilesAndKeepsTheEntries)
{
    TempDir t;
    QStringList paths;
    for (const char* name : {"k/one.txt", "k/two.txt", "k/three.txt", "k/four.txt", "k/five.txt"})
        paths << t.write(QString::fromLatin1(name));
    Shown s;
    FrmDlg& w = s.w;
    w.found().append(paths);

    // No current entry: nothing is deleted.
    w.Command10->click();
    for (const QString& p : paths)
        EXPECT_TRUE(QFileInfo::exists(p));

    // The current entry only.
    w.List3->setCurrentIndex(w.found().index(3));
    w.Command10->click();
    EXPECT_FALSE(QFileInfo::exists(paths[3]));
    EXPECT_TRUE(QFileInfo::exists(paths[2]) && QFileInfo::exists(paths[4]));

    // The marked entries: one is already gone, one read-only; both are passed
    // over and the one after them is still deleted.
    kestrune::test::setReadOnly(paths[0], true);
    for (int i : {0, 3, 4})
        w.found().setMarked(i, true);
    w.Command11->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(QFileInfo::exists(paths[0]));
    EXPECT_FALSE(QFileInfo::exists(paths[4]));
    EXPECT_TRUE(QFileInfo::exists(paths[1]) && QFileInfo::exists(paths[2]));
    EXPECT_EQ(w.found().entries(), paths);
    EXPECT_EQ(marks(w.found()), std::vector<bool>({true, false, false, true, true}));

    // All of them, again without a word.
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(QFileInfo::exists(paths[1]) || QFileInfo::exists(paths[2]));
    EXPECT_TRUE(QFileInfo::exists(paths[0]));
    EXPECT_EQ(w.found().entries(), paths);
    EXPECT_EQ(w.found().markedCount(), 3);
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().log.empty());
}

TEST(FrmDlgWindow, DeleteAllAfterASearchTakesTheListedFileTooButNoPattern)
{
    TempDir t;
    const QString wanted = t.write("a/x?.txt");
    t.write("a/x1.txt");
    t.write("b/X?.TXT");
    t.write("b/xa.txt");
    FrmDlg w;
    w.files().append(wanted);
    w.folders().append({t.file("b"), t.file("a")});
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().entries(), QStringList({native(t.file("b/X?.TXT")), native(wanted)}));
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(t.exists("b/X?.TXT"));
    EXPECT_FALSE(t.exists("a/x?.txt"));
    EXPECT_TRUE(t.exists("a/x1.txt"));
    EXPECT_TRUE(t.exists("b/xa.txt"));
    EXPECT_EQ(scripted().messages(), QStringList({QStringLiteral("查找完毕！")}));
}

TEST(FrmDlgWindow, DeletesNeverFollowAFolderSwappedForALinkAfterTheSearch)
{
    TempDir t;
    const QString wanted = t.write("names/plan.doc");
    for (const char* n : {"tree/plan.doc", "tree/a/plan.doc", "tree/b/plan.doc", "outside/plan.doc"})
        t.write(QString::fromLatin1(n));
    FrmDlg w;
    w.files().append(wanted);
    w.folders().append(t.file("tree"));
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().count(), 3);

    // "a" becomes a link to a folder outside the tree before the deletes.
    ASSERT_TRUE(QDir(t.file("tree/a")).removeRecursively());
    ASSERT_TRUE(QFile::link(t.file("outside"), t.file("tree/a")));
    select(w.List3, 1);
    w.Command10->click();
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(t.exists("outside/plan.doc"));
    EXPECT_FALSE(t.exists("tree/plan.doc") || t.exists("tree/b/plan.doc"));
}

TEST(FrmDlgWindow, CancelledBatchesKeepWhatWasDoneAndSayHowFarTheyCame)
{
    TempDir t;
    QStringList wanted;
    for (const char* name : {"find/one.txt", "find/two.txt", "find/three.txt", "find/four.txt"})
        wanted << t.write(QString::fromLatin1(name));
    for (const char* name : {"tree/one.txt", "tree/a/TWO.txt", "tree/b/three.txt", "tree/b/c/four.txt"})
        t.write(QString::fromLatin1(name));
    FrmDlg w;
    auto& sp = scripted();

    // Adding a folder tree, stopped at its third folder: the files of the
    // first two are kept.
    sp.folders.push_back(t.file("tree"));
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == native(t.file("tree/b")); });
    w.Command4->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.files().entries(), QStringList({native(t.file("tree/one.txt")), native(t.file("tree/a/TWO.txt"))}));
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(2)}));

    // The search, stopped before the third file entry: the matches of the
    // first two are listed, nothing of the rest.
    w.files().removeAt(1);
    w.files().removeAt(0);
    w.files().append(wanted);
    w.folders().append(t.file("tree"));
    sp.clear();
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[2]; });
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(w.found().entries(), QStringList({native(t.file("tree/one.txt")), native(t.file("tree/a/TWO.txt"))}));
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(2)}));

    // Run to the end: every match, the completion message, no dialog.
    sp.clear();
    BatchProgress::setTestHook({});
    w.Command7->click();
    ASSERT_TRUE(finishBatches());
    ASSERT_EQ(w.found().count(), 6);
    EXPECT_EQ(sp.messages(), QStringList({QStringLiteral("查找完毕！")}));
    EXPECT_EQ(w.findChild<QProgressDialog*>(), nullptr);

    // Deleting all, stopped at the fourth entry: three files deleted, the
    // rest untouched, every entry still listed.
    FrmDlg d;
    d.found().append(wanted);
    sp.clear();
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[3]; });
    d.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(3)}));
    EXPECT_FALSE(t.exists("find/one.txt") || t.exists("find/two.txt") || t.exists("find/three.txt"));
    EXPECT_TRUE(t.exists("find/four.txt"));
    EXPECT_EQ(d.found().entries(), wanted);

    // Deleting the marked ones counts only those.
    sp.clear();
    t.write("find/one.txt");
    d.found().setMarked(2, true);
    d.found().setMarked(3, true);
    BatchProgress::setTestHook([&](const QString& doing, int) { return doing == wanted[3]; });
    d.Command11->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(sp.messages(), QStringList({BatchProgress::cancelledText(1)}));
    EXPECT_TRUE(t.exists("find/four.txt"));
    EXPECT_TRUE(t.exists("find/one.txt"));
}

// With the main menu's trash entry on, "删除", "删除所选" and "删除全部" put
// each file in the trash of its own file system, where the desktop finds and
// restores it; a file on a read-only mount stays, with its reason. With the
// entry off, files go for good.
TEST(FrmDlgWindow, DeletesGoToTheTrashOfTheirFileSystemOrForGoodWhenTheEntryIsOff)
{
    TempDir t;
    test::OwnTrash own;
    test::LoopMount stick(t.file("stick"));
    test::LoopMount readOnly(t.file("ro"));
    if (!stick.mounted() || !readOnly.mounted())
        GTEST_SKIP() << "no second file system: " << stick.why().toStdString() << readOnly.why().toStdString();
    const QByteArray gbk("\xC4\xE3\xBA\xC3.txt");
    const QString first = t.write("home/a.txt", "first a");
    const QString second = t.write("home/sub/a.txt", "second a");
    const QString raw = test::writeRaw(t.file("home"), gbk, "raw name");
    const QString onStick = t.write("stick/a.txt", "stick a");
    const QString kept = t.write("ro/a.txt", "kept");
    ASSERT_TRUE(readOnly.makeReadOnly()) << readOnly.why().toStdString();

    Shown s;
    FrmDlg& w = s.w;
    w.found().append({first, second, raw, onStick, kept});
    select(w.List3, 0);
    w.Command10->click();
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_TRUE(scripted().log.empty());
    EXPECT_FALSE(QFileInfo::exists(first) || QFileInfo::exists(second) || QFileInfo::exists(onStick) ||
                 test::rawExists(t.file("home"), gbk));
    EXPECT_EQ(test::readBytes(kept), QByteArray("kept"));
    QString why;
    TrashCan trash;
    EXPECT_FALSE(deleteListedFile(FileSystemObject(), kept, &trash, &why));
    EXPECT_EQ(why, QStringLiteral("无法移到回收站：文件系统只读"));

    // The second a.txt gets a name of its own; the name that is not UTF-8 is
    // kept in its exact bytes.
    const QByteArray home = QDir(t.file("home")).canonicalPath().toUtf8();
    EXPECT_EQ(test::trashEntries(own.trash()), (QList<QByteArray>{"a.2.txt", "a.txt", gbk}));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), "a.txt"), home + "/a.txt"));
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(own.trash(), "a.2.txt"), home + "/sub/a.txt"));
    EXPECT_TRUE(test::trashInfo(own.trash(), gbk).contains("Path=" + home + "/%C4%E3%BA%C3.txt\n"));
    const QString stickTrash = t.file("stick/.Trash-0");
    EXPECT_EQ(test::trashEntries(stickTrash), QList<QByteArray>{"a.txt"});
    EXPECT_TRUE(test::isTrashInfoFor(test::trashInfo(stickTrash, "a.txt"), "a.txt"));

    QString error;
    const QMap<QString, QString> listed = test::gioTrashList(&error);
    for (const QString& path : {first, second, onStick}) {
        const QString real = QFileInfo(QFileInfo(path).path()).canonicalFilePath() + "/a.txt";
        ASSERT_TRUE(listed.contains(real)) << real.toStdString() << " " << error.toStdString();
        EXPECT_TRUE(test::gioTrashRestore(listed[real], &error)) << error.toStdString();
    }
    EXPECT_EQ(test::readBytes(first), QByteArray("first a"));
    EXPECT_EQ(test::readBytes(second), QByteArray("second a"));
    EXPECT_EQ(test::readBytes(onStick), QByteArray("stick a"));

    saveDeleteToTrashSetting(false);
    w.Command12->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_FALSE(QFileInfo::exists(first) || QFileInfo::exists(second) || QFileInfo::exists(onStick));
    EXPECT_EQ(test::trashEntries(own.trash()), QList<QByteArray>{gbk});
    EXPECT_TRUE(test::trashEntries(stickTrash).isEmpty());
    EXPECT_EQ(test::readBytes(kept), QByteArray("kept"));
}
