#include "gui/duplicates/frmdlg.h"
#include "gui/common/batchprogress.h"

#include "app/mdiform1.h"
#include "app/windowcatalog.h"
#include "support/duplicateswindow.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"
#include "support/rawnames.h"
#include "core/duplicates/duplicatesearch.h"

#include <QApplication>
#include <QDir>
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

using kestrune::test::clickEntry;
using kestrune::test::marks;
using kestrune::test::native;
using kestrune::test::select;
using kestrune::test::Shown;

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
