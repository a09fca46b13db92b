#include "gui/devtools/frmcompile.h"
#include "support/launchstub.h"
#include "app/mdiform1.h"
#include "support/rawnames.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::LaunchStubs;
using kestrune::test::scripted;
using kestrune::test::TempDir;
using kestrune::test::writeRaw;

namespace {

const QString kWelcome = QStringLiteral("欢迎使用VB工程批量编译工具!\n\n");

void add(frmCompile& w, const QString& text)
{
    w.Text1->setText(text);
    w.Command1->click();
}

}  // namespace

TEST(Compile, EmptyListIsRefusedBeforeTheCompilerPathAndAWrongPathKeepsTheList)
{
    frmCompile w;
    w.Text2->setText(QStringLiteral("/no/such/vb6"));
    w.Command2->click();
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("列表为空,请先添加工程文件到列表!")});

    add(w, QStringLiteral("/p/a.vbp"));
    w.Command2->click();
    w.Text2->setText(QStringLiteral("   "));
    w.Command2->click();
    EXPECT_EQ(scripted().messages().mid(1),
              QStringList(2, QStringLiteral("指定的编译器路径错误!")));
    EXPECT_EQ(scripted().log.back().icon, MsgIcon::Information);
    EXPECT_EQ(w.list().count(), 1);
    EXPECT_TRUE(scripted().of(Interaction::Start).empty());
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome);
}

TEST(Compile, NativeCompilerGetsEachProjectAsOneArgumentInListOrder)
{
    LaunchStubs stubs;
    scripted().startRuns = true;
    TempDir t;
    const QString compiler = stubs.writeStub(t.file(QStringLiteral("编译 器/vb6")));
    const QString spaced = t.write(QStringLiteral("我的 工程/a b.vbp"));
    frmCompile w;
    add(w, QStringLiteral("  ") + spaced + QStringLiteral(" "));
    add(w, QStringLiteral("/p/second.vbp"));
    add(w, QStringLiteral("/p/third.vbp"));
    // Blanks around the compiler path are not part of it.
    w.Text2->setText(QStringLiteral(" ") + compiler + QStringLiteral("  "));
    w.Command2->click();

    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("编译工程 ") + spaced +
                                          QStringLiteral("\n编译工程 /p/second.vbp\n编译工程 /p/third.vbp\n"));
    EXPECT_EQ(w.list().count(), 0);
    EXPECT_EQ(w.Label4->text(), QString());
    const auto runs = scripted().of(Interaction::Start);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, compiler);
    EXPECT_EQ(runs[0].arguments, (QStringList{QStringLiteral("/MAKE"), spaced}));
    EXPECT_EQ(runs[2].arguments, (QStringList{QStringLiteral("/MAKE"), QStringLiteral("/p/third.vbp")}));

    ASSERT_TRUE(stubs.waitForRuns(3));
    const auto received = stubs.runs();
    EXPECT_EQ(received[0], (QStringList{QStringLiteral("vb6"), QStringLiteral("/MAKE"), QStringLiteral("/p/second.vbp")}));
    EXPECT_EQ(received[2], (QStringList{QStringLiteral("vb6"), QStringLiteral("/MAKE"), spaced}));
}

TEST(Compile, AProjectNamedInGbkReachesTheCompilerByItsBytesAndReadsAsChinese)
{
    LaunchStubs stubs;
    scripted().startRuns = true;
    TempDir t;
    const QString compiler = stubs.writeStub(t.file(QStringLiteral("vb6")));
    const QString project = writeRaw(t.path(), QByteArray("\xB0\xEF\xD6\xFA.vbp"));  // 帮助.vbp in GBK
    frmCompile w;
    add(w, project);
    w.Text2->setText(compiler);
    w.Command2->click();

    ASSERT_TRUE(stubs.waitForRuns(1));
    EXPECT_EQ(stubs.runs().at(0), (QStringList{QStringLiteral("vb6"), QStringLiteral("/MAKE"), project}));
    EXPECT_EQ(w.Text3->toPlainText(),
              kWelcome + QStringLiteral("编译工程 ") + t.path() + QStringLiteral("/帮助.vbp\n"));
}

TEST(Compile, WindowsCompilerRunsThroughWineWithWindowsPaths)
{
    LaunchStubs stubs;
    scripted().startRuns = true;
    TempDir t;
    const QString compiler = t.write(QStringLiteral("VB98/VB6.EXE"), QByteArray("MZ\x90\0\3", 5));
    const QString project = t.write(QStringLiteral("my app/工程.vbp"));
    // The prefix shows "/" as drive Y: (and C: as its own folder).
    QDir().mkpath(stubs.prefix() + QStringLiteral("/dosdevices"));
    QDir().mkpath(stubs.prefix() + QStringLiteral("/drive_c"));
    QFile::link(QStringLiteral("../drive_c"), stubs.prefix() + QStringLiteral("/dosdevices/c:"));
    QFile::link(QStringLiteral("/"), stubs.prefix() + QStringLiteral("/dosdevices/y:"));
    frmCompile w;
    add(w, project);
    w.Text2->setText(compiler);
    w.Command2->click();

    ASSERT_TRUE(stubs.waitForRuns(1));
    QString windows = project;
    windows.replace(QLatin1Char('/'), QLatin1Char('\\'));
    EXPECT_EQ(stubs.runs().at(0), (QStringList{QStringLiteral("wine"), compiler, QStringLiteral("/MAKE"),
                                               QStringLiteral("Y:") + windows}));
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("编译工程 ") + project + QLatin1Char('\n'));
}

TEST(Compile, CompilerThatCannotStartIsReportedPerEntryAndMissingWineStopsTheRun)
{
    TempDir t;
    const QString notProgram = t.write(QStringLiteral("vb6.txt"), "just text");
    frmCompile w;
    add(w, QStringLiteral("/p/a.vbp"));
    add(w, QStringLiteral("/p/b.vbp"));
    w.Text2->setText(notProgram);
    w.Command2->click();
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("编译工程 /p/a.vbp\n无法启动编译器:不是可以运行的程序\n"
                                                                "编译工程 /p/b.vbp\n无法启动编译器:不是可以运行的程序\n"));
    EXPECT_EQ(w.list().count(), 0);

    // A program the system refuses to start.
    LaunchStubs stubs;
    scripted().startSucceeds = false;
    w.Command6->click();
    add(w, QStringLiteral("/p/c.vbp"));
    w.Text2->setText(stubs.writeStub(t.file(QStringLiteral("vb6"))));
    w.Command2->click();
    EXPECT_EQ(w.Text3->toPlainText(), kWelcome + QStringLiteral("编译工程 /p/c.vbp\n无法启动编译器:系统拒绝启动该程序\n"));
    scripted().clear();

    LaunchStubs noWine(false);
    add(w, QStringLiteral("/p/a.vbp"));
    w.Text2->setText(t.write(QStringLiteral("VB6.EXE"), "MZ"));
    w.Command2->click();
    EXPECT_EQ(scripted().messages(), QStringList{QStringLiteral("运行Windows程序需要wine,请先安装wine!")});
    EXPECT_EQ(w.list().count(), 1);
    EXPECT_TRUE(scripted().of(Interaction::Start).empty());
}

TEST(Compile, BrowsingForTheCompilerLeavesTheProjectBoxAlone)
{
    frmCompile w;
    w.Text1->setText(QStringLiteral("/p/a.vbp"));
    const QString before = w.Text2->text();
    w.Image2->clicked();
    EXPECT_EQ(w.Text2->text(), before);
    scripted().openFiles.push_back(QStringLiteral("/opt/vb/VB6.EXE"));
    w.Image2->clicked();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/opt/vb/VB6.EXE"));
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/p/a.vbp"));
    EXPECT_EQ(scripted().of(Interaction::OpenFile).at(0).text, QStringLiteral("可执行文件|*.exe|所有文件|*.*"));
}

TEST(Compile, OpensModelessOwnedAtTheMainWindowsCorner)
{
    MDIForm1 main;
    main.move(200, 150);
    main.show();
    QWidget* w = main.showToolWindow(QStringLiteral("menuCpVb"));
    ASSERT_NE(qobject_cast<frmCompile*>(w), nullptr);
    EXPECT_EQ(w->parentWidget(), &main);
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->pos(), main.pos());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("VB6工程批量编译"));
    w->close();
}
