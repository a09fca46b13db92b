#include "gui/devtools/frmregsvr.h"
#include "core/devtools/programlaunch.h"
#include "core/devtools/registration.h"
#include "support/launchstub.h"
#include "gui/common/batchprogress.h"
#include "app/mdiform1.h"
#include "core/fs/programfolder.h"
#include "support/batchwait.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QPointer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::Interaction;
using kestrune::test::LaunchStubs;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QString windows(QString path)
{
    return QStringLiteral("Z:") + path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QStringList registered(const QString& library)
{
    return {QStringLiteral("wine"), QStringLiteral("regsvr32"), QStringLiteral("/s"), windows(library)};
}

}  // namespace

TEST(Registration, WindowsPathsUseTheDriveThatShowsTheRoot)
{
    TempDir t;
    const QString prefix = t.mkdir(QStringLiteral("prefix"));
    EXPECT_EQ(wineRootDrive(t.file(QStringLiteral("no-prefix"))), QStringLiteral("Z:"));
    t.mkdir(QStringLiteral("prefix/dosdevices"));
    t.mkdir(QStringLiteral("prefix/drive_c"));
    QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
    QFile::link(t.path(), prefix + QStringLiteral("/dosdevices/d:"));
    EXPECT_EQ(wineRootDrive(prefix), QStringLiteral("Z:"));
    QFile::link(QStringLiteral("/"), prefix + QStringLiteral("/dosdevices/r:"));
    QFile::link(QStringLiteral("/"), prefix + QStringLiteral("/dosdevices/z:"));
    EXPECT_EQ(wineRootDrive(prefix), QStringLiteral("R:"));

    EXPECT_EQ(windowsPath(QStringLiteral("/home/a/my app.vbp"), QStringLiteral("Z:")),
              QStringLiteral("Z:\\home\\a\\my app.vbp"));
    EXPECT_EQ(windowsPath(QStringLiteral("/"), QStringLiteral("Z:")), QStringLiteral("Z:\\"));
    EXPECT_EQ(windowsPath(QStringLiteral("rel/x.dll"), QStringLiteral("Z:")),
              windows(QDir::currentPath() + QStringLiteral("/rel/x.dll")));
}

TEST(Registration, RegistersEveryLibraryOfTheFolderAndListsTheFailures)
{
    LaunchStubs stubs;
    TempDir t;
    for (const char* name : {"a.DLL", "b.ocx", "xdll", "c.txt", "my lib.dll", "bad.ocx", "sub/d.dll"})
        t.write(QStringLiteral("libs/") + QString::fromLatin1(name));
    const QString libs = t.file(QStringLiteral("libs"));
    Frmregsvr w;
    w.Text4->setText(libs);
    w.Command5->click();
    ASSERT_TRUE(finishBatches());

    const auto runs = stubs.runs();
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[0], registered(libs + QStringLiteral("/a.DLL")));
    EXPECT_EQ(runs[1], registered(libs + QStringLiteral("/b.ocx")));
    EXPECT_EQ(runs[2], registered(libs + QStringLiteral("/bad.ocx")));
    EXPECT_EQ(runs[3], registered(libs + QStringLiteral("/my lib.dll")));
    EXPECT_EQ(runs[4], registered(libs + QStringLiteral("/xdll")));
    // The message comes when every registration has ended.
    EXPECT_EQ(scripted().messages(),
              QStringList{QStringLiteral("该目录全部dll或ocx文件注册完毕!\n以下文件注册失败:\nbad.ocx (退出代码 3)")});
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::None);
}

TEST(Registration, FailuresToStartAreNamedAndAFolderWithoutLibrariesStillCompletes)
{
    LaunchStubs stubs;
    TempDir t;
    t.write(QStringLiteral("libs/a.dll"));
    t.write(QStringLiteral("libs/b.dll"));
    t.write(QStringLiteral("plain/readme.txt"));
    scripted().answerRun = [](const QString&, const QStringList& arguments) {
        ProgramEnd end;
        if (arguments.last().endsWith(QLatin1String("a.dll"))) {
            end.error = QStringLiteral("no such program");
        } else {
            end.started = true;
            end.exitCode = 0;
        }
        return end;
    };
    Frmregsvr w;
    scripted().folders.push_back(t.file(QStringLiteral("libs")));
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    scripted().folders.push_back(t.file(QStringLiteral("plain")));
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().of(Interaction::Folder).at(0).text, QStringLiteral("请选择包含想注册的dll,ocx文件的文件夹："));
    EXPECT_EQ(scripted().messages(),
              (QStringList{QStringLiteral("所选目录全部dll或ocx文件注册完毕!\n以下文件注册失败:\na.dll (无法启动:no such program)"),
                           QStringLiteral("所选目录全部dll或ocx文件注册完毕!")}));
    EXPECT_EQ(scripted().of(Interaction::Run).size(), 2u);
}

TEST(Registration, AtMostOneRunPerCoreAndACancelStartsNoMore)
{
    LaunchStubs stubs;
    TempDir t;
    const int cores = qMax(1, QThread::idealThreadCount());
    for (int i = 0; i < cores + 3; ++i)
        t.write(QStringLiteral("libs/l%1.dll").arg(i));
    // The registrations end well on their own, whatever a cancel asks them.
    scripted().answerRun = [](const QString&, const QStringList&) {
        ProgramEnd end;
        end.started = true;
        end.exitCode = 0;
        return end;
    };
    // The user cancels as soon as the first runs are under way.
    BatchProgress::setTestHook([](const QString&, int) { return true; });
    Frmregsvr w;
    w.Text4->setText(t.file(QStringLiteral("libs")));
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    BatchProgress::setTestHook(nullptr);
    EXPECT_EQ(int(scripted().of(Interaction::Run).size()), cores);
    EXPECT_EQ(scripted().messages(), QStringList{BatchProgress::cancelledText(cores)});
}

TEST(Registration, FoldersWithoutFilesAndBadPathsStartNothing)
{
    LaunchStubs stubs;
    TempDir t;
    t.mkdir(QStringLiteral("hollow/sub"));
    t.write(QStringLiteral("hollow/sub/a.dll"));
    Frmregsvr w;
    for (const QString& typed : {QString(), QStringLiteral("  "), t.file(QStringLiteral("gone")),
                                 t.write(QStringLiteral("file.dll"))}) {
        w.Text4->setText(typed);
        w.Command5->click();
        ASSERT_TRUE(finishBatches());
    }
    EXPECT_EQ(scripted().messages(), QStringList(4, QStringLiteral("指定的目录不存在!")));
    w.Text4->setText(t.file(QStringLiteral("hollow")));
    w.Command5->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages().last(), QStringLiteral("该目录下面没有文件!"));

    scripted().folders.push_back(std::nullopt);
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    scripted().folders.push_back(t.file(QStringLiteral("hollow")));
    w.Command1->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages().last(), QStringLiteral("所选目录下面没有文件!"));
    EXPECT_EQ(scripted().messages().size(), 6);

    // The program's own folder without files of its own: nothing at all.
    setProgramFolder(t.file(QStringLiteral("hollow")));
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages().size(), 6);
    EXPECT_TRUE(scripted().of(Interaction::Run).empty());
}

TEST(Registration, ProgramFolderAndMissingWine)
{
    TempDir t;
    t.write(QStringLiteral("prog/kestrune"));
    t.write(QStringLiteral("prog/tool.ocx"));
    setProgramFolder(t.file(QStringLiteral("prog")));
    Frmregsvr w;
    {
        LaunchStubs noWine(false);
        w.Command2->click();
        ASSERT_TRUE(finishBatches());
        EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("运行Windows程序需要wine,请先安装wine!")});
        EXPECT_TRUE(scripted().of(Interaction::Run).empty());
    }
    LaunchStubs stubs;
    w.Command2->click();
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(scripted().messages().last(), QStringLiteral("当前目录全部dll或ocx文件注册完毕!"));
    EXPECT_EQ(stubs.runs(), std::vector<QStringList>{registered(t.file(QStringLiteral("prog/tool.ocx")))});
}

TEST(Registration, WindowOpensCentredOnTheMainWindowAndCloses)
{
    MDIForm1 main;
    main.setGeometry(100, 100, 900, 700);
    main.show();
    QWidget* w = main.showToolWindow(QStringLiteral("menureg"));
    auto* reg = qobject_cast<Frmregsvr*>(w);
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_EQ(w->size(), QSize(452, 137));
    EXPECT_EQ(w->frameGeometry().center(), main.frameGeometry().center());
    QPointer<QWidget> alive(w);
    reg->Command3->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}
