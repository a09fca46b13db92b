#include "app/mdiform1.h"
#include "gui/about/frmtip.h"
#include "core/system/platform.h"
#include "core/fs/trash.h"

#include "support/scriptedplatform.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::scripted;

namespace {

// A stand-in tool window: counts how often one was loaded.
int g_loads = 0;

class FakeTool : public QDialog {
public:
    explicit FakeTool(QWidget* owner) : QDialog(owner)
    {
        ++g_loads;
        edit = new QLineEdit(this);
    }
    QLineEdit* edit;
};

std::vector<ToolWindowEntry> fakeCatalog()
{
    auto make = [](QWidget* owner) -> QWidget* { return new FakeTool(owner); };
    return {
        {QStringLiteral("menuRec"), true, true, make},
        {QStringLiteral("g1"), false, true, make},
        {QStringLiteral("menumove"), false, false, make},
        {QStringLiteral("menuTip"), false, true, make},
        {QStringLiteral("menuabout"), false, false, {}},
    };
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

}  // namespace

TEST(MainWindow, CaptionCarriesTheVersionAfterLoad)
{
    MDIForm1 w(fakeCatalog());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrune"));
    w.MDIForm_Load();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kestrune  V1.3.0"));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_NE(qobject_cast<QMdiArea*>(w.centralWidget()), nullptr);
    EXPECT_TRUE(w.workspace()->subWindowList().isEmpty());
}

TEST(MainWindow, MenuTreeIsExactlyAsDesigned)
{
    MDIForm1 w(fakeCatalog());
    const QList<QAction*> tops = w.menuBar()->actions();
    const std::vector<std::pair<QString, QStringList>> expected{
        {"文件工具(&F)", {"menuRec|文件信息记录(&R)", "menumove|文件批量管理(&M)", "g1|重复文件批量删除(&D)", "menusame|查找内容相同的文件(&C)", "menuTrash|删除时移到回收站(&T)", "menuexit|退出(&X)"}},
        {"文件查看(&V)", {"menuviewdwg|DWG文件(&D)"}},
        {"系统工具(&S)", {"menujmword|批量加密Word文档(&W)", "menujmdwg|批量加密AutoCAD文档(&A)", "menureg|ocx,dll批量注册(&O)"}},
        {"编程工具(&T)", {"menudecompile|chm文件批量反编译(&D)", "menuCpVb|批量编译VB6工程(&C)"}},
        {"帮助(&H)", {"menuTip|每日一帖(&X)", "menuabout|关于(&A)"}},
    };
    const QStringList topNames{"menuFile", "menuview", "v1", "v2", "menuHelp"};
    ASSERT_EQ(tops.size(), int(expected.size()));
    for (int i = 0; i < tops.size(); ++i) {
        EXPECT_EQ(tops[i]->text(), expected[size_t(i)].first);
        EXPECT_EQ(tops[i]->menu()->objectName(), topNames[i]);
        QStringList items;
        for (QAction* a : tops[i]->menu()->actions()) {
            EXPECT_FALSE(a->isSeparator());
            EXPECT_TRUE(a->shortcut().isEmpty());
            items << a->objectName() + "|" + a->text();
        }
        EXPECT_EQ(items, expected[size_t(i)].second);
    }
    // The drawing encryption entry never opens anything; entries without a
    // window are greyed; the others are usable.
    EXPECT_FALSE(w.menujmdwg->isEnabled());
    EXPECT_FALSE(w.menuabout->isEnabled());
    EXPECT_FALSE(w.menureg->isEnabled());
    EXPECT_TRUE(w.menumove->isEnabled());
    EXPECT_TRUE(w.menuexit->isEnabled());
}

// The trash entry is on at first; unticking it is kept in the user's
// settings, so the next start shows it off and the tools delete for good.
TEST(MainWindow, TrashEntryIsCheckedAtFirstAndItsChoiceOutlivesARestart)
{
    const QString key = settingsAppName() + QStringLiteral("/Options/删除时移到回收站");
    {
        MDIForm1 w(fakeCatalog());
        EXPECT_TRUE(w.menuTrash->isCheckable());
        EXPECT_TRUE(w.menuTrash->isChecked());
        EXPECT_TRUE(deleteToTrashSetting());
        w.menuTrash->trigger();
        EXPECT_FALSE(w.menuTrash->isChecked());
    }
    EXPECT_EQ(scripted().settings.value(key), QStringLiteral("0"));
    EXPECT_FALSE(deleteToTrashSetting());
    {
        MDIForm1 w(fakeCatalog());
        EXPECT_FALSE(w.menuTrash->isChecked());
        w.menuTrash->trigger();
    }
    EXPECT_EQ(scripted().settings.value(key), QStringLiteral("1"));
    MDIForm1 again(fakeCatalog());
    EXPECT_TRUE(again.menuTrash->isChecked());
}

TEST(MainWindow, ToolWindowsAreSingleInstancesReloadedAfterClose)
{
    g_loads = 0;
    MDIForm1 w(fakeCatalog());
    w.show();
    w.menumove->trigger();
    auto* first = dynamic_cast<FakeTool*>(w.toolWindow("menumove"));
    ASSERT_NE(first, nullptr);
    first->edit->setText("typed");
    w.menumove->trigger();
    EXPECT_EQ(w.toolWindow("menumove"), first);
    EXPECT_EQ(g_loads, 1);
    EXPECT_EQ(first->edit->text(), QStringLiteral("typed"));
    EXPECT_TRUE(first->isVisible());

    QPointer<FakeTool> guard(first);
    first->close();
    flushDeletes();
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(w.toolWindow("menumove"), nullptr);

    w.menumove->trigger();
    auto* second = dynamic_cast<FakeTool*>(w.toolWindow("menumove"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(g_loads, 2);
    EXPECT_TRUE(second->edit->text().isEmpty());
    // Esc (reject) closes a tool window just as its close box does.
    QPointer<FakeTool> guard2(second);
    second->reject();
    flushDeletes();
    EXPECT_TRUE(guard2.isNull());
}

TEST(MainWindow, OwnedWindowsBelongToTheMainWindowOthersStandAlone)
{
    MDIForm1 w(fakeCatalog());
    w.show();
    w.g1->trigger();
    w.menumove->trigger();
    QWidget* owned = w.toolWindow("g1");
    QWidget* free = w.toolWindow("menumove");
    ASSERT_TRUE(owned && free);
    EXPECT_EQ(owned->parentWidget(), &w);
    EXPECT_TRUE(owned->isWindow());
    EXPECT_EQ(free->parentWidget(), nullptr);
    EXPECT_EQ(owned->windowModality(), Qt::NonModal);
    EXPECT_EQ(free->windowModality(), Qt::NonModal);
    EXPECT_FALSE(owned->windowIcon().isNull());
    owned->close();
    free->close();
    flushDeletes();
}

TEST(MainWindow, AModalWindowHoldsTheMenuCommandUntilItIsClosed)
{
    MDIForm1 w(fakeCatalog());
    w.show();
    bool wasModal = false;
    bool wasOwned = false;
    QTimer::singleShot(0, [&] {
        QWidget* rec = w.toolWindow("menuRec");
        ASSERT_NE(rec, nullptr);
        wasModal = rec->isVisible() && rec->windowModality() == Qt::ApplicationModal;
        wasOwned = rec->parentWidget() == &w;
        rec->close();
    });
    w.menuRec->trigger();
    // Back here only after the window was closed and destroyed.
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(wasOwned);
    EXPECT_EQ(w.toolWindow("menuRec"), nullptr);
}

TEST(MainWindow, TipEntryBeepsSetsTheFlagAndShowsTheTipWindow)
{
    TipFromMenu = false;
    MDIForm1 w(fakeCatalog());
    w.show();
    w.menuTip->trigger();
    ASSERT_EQ(scripted().log.size(), 1u);
    EXPECT_EQ(scripted().log[0].kind, Interaction::Beep);
    EXPECT_TRUE(TipFromMenu);
    ASSERT_NE(w.toolWindow("menuTip"), nullptr);
    EXPECT_TRUE(w.toolWindow("menuTip")->isVisible());
    TipFromMenu = false;
}

TEST(MainWindow, StartUpShowsTheTipWindowAndSurvivesWithoutOne)
{
    MDIForm1 w(fakeCatalog());
    w.MDIForm_Load();
    EXPECT_NE(w.toolWindow("menuTip"), nullptr);
    EXPECT_TRUE(scripted().log.empty());  // no beep at start-up

    MDIForm1 bare(std::vector<ToolWindowEntry>{});
    bare.MDIForm_Load();
    EXPECT_EQ(bare.windowTitle(), QStringLiteral("Kestrune  V1.3.0"));
    EXPECT_FALSE(bare.menumove->isEnabled());
}

TEST(MainWindow, ExitEndsEveryWindowWithoutAsking)
{
    QPointer<QWidget> owned, free;
    {
        MDIForm1 w(fakeCatalog());
        w.show();
        w.g1->trigger();
        w.menumove->trigger();
        owned = w.toolWindow("g1");
        free = w.toolWindow("menumove");
        w.menuexit->trigger();
        flushDeletes();
        EXPECT_TRUE(owned.isNull());
        EXPECT_TRUE(free.isNull());
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_TRUE(scripted().log.empty());
}

TEST(MainWindow, ClosingTheFrameClosesTheToolWindowsToo)
{
    auto* w = new MDIForm1(fakeCatalog());
    w->show();
    w->menumove->trigger();
    QPointer<QWidget> free = w->toolWindow("menumove");
    ASSERT_FALSE(free.isNull());
    w->close();
    flushDeletes();
    EXPECT_TRUE(free.isNull());
    delete w;
}
