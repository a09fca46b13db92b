#include "core/fs/fso.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"
#include "app/startup.h"

#include "support/scriptedplatform.h"

#include <QApplication>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace kestrune;

TEST(Dialogs, FilterStringsBecomeQtFiltersWithTheFirstPairFirst)
{
    EXPECT_EQ(convertDialogFilter(QStringLiteral("工程文件|*.vbp|所有文件|*.*")),
              QStringLiteral("工程文件 (*.vbp);;所有文件 (*.*)"));
    EXPECT_EQ(convertDialogFilter(QStringLiteral("所有文件|*.*")), QStringLiteral("所有文件 (*.*)"));
    EXPECT_EQ(convertDialogFilter(QStringLiteral("图片|*.bmp;*.png")), QStringLiteral("图片 (*.bmp *.png)"));
    EXPECT_EQ(convertDialogFilter(QString()), QString());
}

TEST(Dialogs, FolderPathsAreNativeWithoutClosingSeparatorExceptTheRoot)
{
    EXPECT_EQ(normalizeFolderPath(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(normalizeFolderPath(QStringLiteral("/home/user/")), QStringLiteral("/home/user"));
    EXPECT_EQ(normalizeFolderPath(QStringLiteral("/home//user/./docs/..")), QStringLiteral("/home/user"));
    EXPECT_EQ(normalizeFolderPath(QString()), QString());
}

TEST(Dialogs, TheScriptedDoubleAnswersCancelWhenNothingIsScripted)
{
    auto& p = test::scripted();
    EXPECT_FALSE(platform().chooseFolder(nullptr, QStringLiteral("请选择文件夹：")).has_value());
    EXPECT_FALSE(platform().openFile(nullptr, QStringLiteral("所有文件|*.*")).has_value());
    EXPECT_TRUE(platform().saveFile(nullptr, QStringLiteral("位图文件|*.bmp|所有文件|*.*")).isEmpty());
    EXPECT_TRUE(platform().inputBox(nullptr, QStringLiteral("?")).isEmpty());
    p.folders.push_back(QStringLiteral("/tmp"));
    EXPECT_EQ(platform().chooseFolder(nullptr, QStringLiteral("t")).value(), QStringLiteral("/tmp"));
    platform().messageBox(nullptr, QStringLiteral("必须先指定源!"), MsgIcon::Information);
    ASSERT_EQ(p.messages(), QStringList{QStringLiteral("必须先指定源!")});
    EXPECT_EQ(p.of(test::Interaction::Message).front().icon, MsgIcon::Information);
    EXPECT_EQ(p.of(test::Interaction::Folder).size(), 2u);
}

TEST(ProgramFolder, IsTheExecutablesFolderUnlessATestSetsOne)
{
    EXPECT_EQ(programFolder(), QCoreApplication::applicationDirPath());
    setProgramFolder(QStringLiteral("/srv/kestrune"));
    EXPECT_EQ(programFile(QStringLiteral("db1.mdb")), QStringLiteral("/srv/kestrune/db1.mdb"));
    setProgramFolder(QString());
    EXPECT_EQ(programFile(QStringLiteral("setting.txt")), QCoreApplication::applicationDirPath() + "/setting.txt");
    EXPECT_EQ(settingsAppName(), QStringLiteral("test_core"));
}

TEST(Program, StartsOnTheOffscreenPlatformAndKeepsRunning)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune"), QStringList());
    ASSERT_TRUE(program.waitForStarted(10000)) << qPrintable(program.errorString());
    // Still alive after a few seconds: it did not crash or quit on start-up.
    EXPECT_FALSE(program.waitForFinished(3000)) << program.readAllStandardError().constData();
    EXPECT_EQ(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished(5000);
}

TEST(Program, WithoutADisplayAnUnusableCommandLineGetsTheUsageAndStatusOne)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    const QList<QStringList> commandLines = {
        {QStringLiteral("--bogus")},
        // One file is a drawing to open; a second is refused.
        {QStringLiteral("one.dwg"), QStringLiteral("stray")},
        // Qt's own options and their values are no arguments of ours.
        {QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-style=fusion"), QStringLiteral("-x")},
    };
    for (const QStringList& arguments : commandLines) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune"), arguments);
        ASSERT_TRUE(program.waitForFinished(10000)) << qPrintable(arguments.join(' '));
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << qPrintable(err);
        EXPECT_EQ(program.exitCode(), 1) << qPrintable(err);
        EXPECT_TRUE(err.contains(QStringLiteral("Usage:"))) << qPrintable(err);
        EXPECT_TRUE(err.contains(arguments.last().section(QLatin1Char('-'), -1))) << qPrintable(err);
    }
    // A drawing to open, but nothing to show the windows on: said, not aborted.
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(KESTRUNE_BIN_DIR "/kestrune"), {QStringLiteral("one.dwg")});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("DISPLAY"));
}

TEST(Program, StandardButtonsReadChineseOnceTheApplicationIsPrepared)
{
    prepareApplication(*qApp);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}
