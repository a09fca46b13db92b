// `kestrune COMMAND`: each command run as its own process, without a
// display, against the window doing the same on a copy of the same input.

#include "gui/devtools/frmcompile.h"
#include "gui/devtools/frmdecp.h"
#include "gui/devtools/frmregsvr.h"
#include "core/documents/dwgpreview.h"
#include "core/documents/dwgview.h"
#include "gui/duplicates/frmdlg.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmrec.h"
#include "core/records/recordstore.h"
#include "core/fs/fsnames.h"
#include "core/fs/programfolder.h"
#include "support/batchwait.h"
#include "support/clirun.h"
#include "support/rawnames.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::test;

// copy, move and delete do to one tree what the window does to its twin,
// name each file handled, and exit 1 naming the file that failed.
TEST_F(CliTest, FileCommandsDoWhatTheWindowDoes)
{
    struct Case {
        int option;  // the window's option button
        bool multi;
        QString filter;
        QList<QByteArray> args;  // before SOURCE [DESTINATION]
        int code;
        int printed;
    };
    const QList<Case> cases{
        {1, false, QStringLiteral("*.txt"), {"copy", "--pattern", "*.txt"}, 0, 5},
        {0, true, QStringLiteral("txt;chm"), {"move", "--types", "txt;chm"}, 0, 6},
        // Without force the read-only file stays and is named: status 1.
        {2, true, QStringLiteral("txt"), {"delete", "--types", "txt"}, 1, 4},
        {3, false, QStringLiteral("*.*"), {"delete", "--force", "--pattern", "*.*"}, 0, 7},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const QString tag = QString::number(++round);
        const QString winSrc = makeTree(QStringLiteral("w") + tag);
        const QString cliSrc = makeTree(QStringLiteral("c") + tag);
        const QString winDst = dir.mkdir(QStringLiteral("wd") + tag);
        const QString cliDst = dir.mkdir(QStringLiteral("cd") + tag);

        frmmove w;
        w.Text1->setText(winSrc);
        w.Text2->setText(winDst);
        w.Option1[size_t(c.option)]->click();
        w.Check3->setChecked(c.multi);
        w.Text3->setText(c.filter);
        w.Combo1->setEditText(c.filter);
        w.Command3->click();
        ASSERT_TRUE(finishBatches());

        QList<QByteArray> args = c.args;
        args << encodeFileName(cliSrc);
        if (c.option < 2)
            args << encodeFileName(cliDst);
        const CliRun run = kestrune(args);
        EXPECT_EQ(run.code, c.code) << run.err.constData();
        EXPECT_EQ(treeOf(cliSrc), treeOf(winSrc));
        EXPECT_EQ(treeOf(cliDst), treeOf(winDst));
        EXPECT_EQ(lines(run.out).size(), c.printed);
        if (c.code == 1) {
            EXPECT_TRUE(run.err.contains("ro.txt")) << run.err.constData();
            EXPECT_EQ(lines(run.err).size(), 1);
        }
    }
}

// Exit statuses of usage errors, and -0: a name holding a line feed and one
// that is not UTF-8 come out as their exact bytes, NUL-separated.
TEST_F(CliTest, UsageErrorsAndNulSeparatedExactNames)
{
    const QString src = dir.mkdir(QStringLiteral("src"));
    const QString dst = dir.mkdir(QStringLiteral("dst"));
    writeRaw(src, QByteArray("line\nfeed.txt"), "1");
    writeRaw(src, QByteArray("\xC4\xE3\xFF.txt"), "2");
    const QByteArray s = encodeFileName(src);
    const QByteArray d = encodeFileName(dst);

    EXPECT_EQ(kestrune({"copy", s, d}).code, 2);  // no filter
    EXPECT_EQ(kestrune({"copy", "--types", "txt", "--pattern", "*.txt", s, d}).code, 2);
    EXPECT_EQ(kestrune({"copy", "--bogus", s, d}).code, 2);
    EXPECT_EQ(kestrune({"copy", "--pattern", "*.*", s}).code, 2);
    EXPECT_EQ(kestrune({"copy", "--pattern", "*.*", s, s + "/missing"}).code, 1);
    EXPECT_EQ(kestrune({"copy", "--help"}).code, 0);
    EXPECT_EQ(kestrune({"help"}).code, 0);
    EXPECT_TRUE(QDir(dst).isEmpty());

    const CliRun run = kestrune({"copy", "-0", "--types", "txt", s, d});
    ASSERT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(lines(run.out, '\0'), (QList<QByteArray>{s + "/line\nfeed.txt", s + "/\xC4\xE3\xFF.txt"}));
    EXPECT_TRUE(rawExists(dst, "line\nfeed.txt"));
    EXPECT_TRUE(rawExists(dst, "\xC4\xE3\xFF.txt"));
}

// dupes lists what "开始查找" lists, in its order (a folder of names added
// as "添加目录到列表" adds it); --delete deletes what "删除全部" deletes.
TEST_F(CliTest, DupesListsAndDeletesAsTheWindow)
{
    for (const QString& side : {QStringLiteral("w"), QStringLiteral("c")}) {
        dir.write(side + QStringLiteral("/names/Read.ME"));
        dir.write(side + QStringLiteral("/names/x.txt"));
        dir.write(side + QStringLiteral("/one.dat"));
        dir.write(side + QStringLiteral("/t1/READ.me"));
        dir.write(side + QStringLiteral("/t1/z/X.TXT"));
        dir.write(side + QStringLiteral("/t1/z/one.dat"));
        dir.write(side + QStringLiteral("/t2/ONE.DAT"));
        dir.write(side + QStringLiteral("/t2/x.txt"));
    }
    FrmDlg w;
    w.dieda(FileSystemObject().GetFolder(dir.file(QStringLiteral("w/names"))));
    ASSERT_TRUE(finishBatches());
    w.files().append(QStringList{dir.file(QStringLiteral("w/one.dat"))});
    w.folders().append(QStringList{dir.file(QStringLiteral("w/t2")), dir.file(QStringLiteral("w/t1"))});
    w.Command7_Click();
    ASSERT_TRUE(finishBatches());
    QList<QByteArray> expected;
    for (const QString& path : w.found().entries())
        expected << encodeFileName(path).replace("/w/", "/c/");
    ASSERT_EQ(expected.size(), 5);

    const QByteArray c = encodeFileName(dir.file(QStringLiteral("c")));
    const CliRun run = kestrune({"dupes", "--delete", "--names", c + "/names", c + "/one.dat", "--in", c + "/t2", c + "/t1"});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(lines(run.out), expected) << run.out.constData() << "--" << expected.join('|').constData();

    w.Command12_Click();  // 删除全部
    ASSERT_TRUE(finishBatches());
    EXPECT_EQ(treeOf(dir.file(QStringLiteral("c"))), treeOf(dir.file(QStringLiteral("w"))));
    EXPECT_EQ(treeOf(dir.file(QStringLiteral("c/t1"))).size(), 0);
}

// record stores the rows "记录" stores, and a log entry; query prints what
// "查询" shows; log --clear empties the log.
TEST_F(CliTest, RecordQueryAndLogUseTheSameDatabase)
{
    const QString folder = dir.mkdir(QStringLiteral("files"));
    dir.write(QStringLiteral("files/small.txt"), QByteArray(10, 'x'));
    dir.write(QStringLiteral("files/page.html"), QByteArray(2000, 'x'));
    dir.write(QStringLiteral("files/notes.txtx"), QByteArray(12, 'x'));
    writeRaw(folder, QByteArray("\xC4\xE3\xBA\xC3.txt"), "abc");

    {
        frmrec w;
        w.Text4->setText(folder);
        w.Command5->click();
        ASSERT_TRUE(finishBatches());
        w.Text1->setText(QStringLiteral("11"));
        w.Combo1->setCurrentIndex(2);  // Byte
        w.Text3->setText(QStringLiteral("9"));
        w.Label1_Click();
        const CliRun record = kestrune({"record", encodeFileName(folder)});
        ASSERT_EQ(record.code, 0) << record.err.constData();
        const CliRun found = kestrune({"query", "--size", "11", "--unit", "B", "--range", "9"});
        EXPECT_EQ(found.code, 0);
        // The window shows readable what the command prints in exact bytes.
        EXPECT_EQ(displayFileName(decodeFileName(found.out)), w.Text2->toPlainText());
        EXPECT_TRUE(found.out.contains("\xC4\xE3\xBA\xC3.txt\n")) << found.out.constData();
        EXPECT_EQ(lines(found.out).size(), 3);
    }
    auto rows = [](const QString& prog, const char* table) {
        RecordStore store(prog + QStringLiteral("/db1.mdb"));
        EXPECT_TRUE(store.open({QString::fromLatin1(table)}));
        return store.read(QString::fromLatin1(table)).value_or(TableContents()).rows;
    };
    EXPECT_EQ(rows(cliProg, kFileInfTable), rows(winProg, kFileInfTable));
    EXPECT_EQ(rows(cliProg, kFileInfTable).size(), 4u);
    ASSERT_EQ(rows(cliProg, kLogTable).size(), 1u);
    EXPECT_EQ(rows(cliProg, kLogTable)[0][0], QVariant(folder));

    const CliRun log = kestrune({"log"});
    EXPECT_TRUE(log.out.startsWith(folder.toUtf8() + '\t'));
    EXPECT_EQ(kestrune({"log", "--clear"}).code, 0);
    EXPECT_EQ(rows(cliProg, kLogTable).size(), 0u);
}

// decompile writes the folders and projects the window writes; dwg writes
// the window's bitmap, pixel for pixel.
TEST_F(CliTest, DecompileAndDrawingPreviewAsTheWindow)
{
    const QString chm = QStringLiteral(KESTRUNE_TEST_DATA "/chm");
    const QString winOut = dir.mkdir(QStringLiteral("wout"));
    const QString cliOut = dir.mkdir(QStringLiteral("cout"));
    {
        Frmdecp w;
        w.Text2->setText(chm);
        w.Text1->setText(winOut);
        w.Command3->click();
        ASSERT_TRUE(finishBatches());
    }
    const CliRun run = kestrune({"decompile", encodeFileName(chm), encodeFileName(cliOut)});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(lines(run.out).size(), 3);
    const auto winTree = treeOf(winOut);
    EXPECT_EQ(treeOf(cliOut).keys(), winTree.keys());
    // The projects list their files by full path: the same but for the root.
    for (const QByteArray& key : winTree.keys())
        EXPECT_EQ(treeOf(cliOut).value(key), QByteArray(winTree.value(key)).replace(winOut.toUtf8(), cliOut.toUtf8()))
            << key.constData();
    EXPECT_TRUE(winTree.contains("/Help/Help.hhp"));

    const QString drawing = QStringLiteral(KESTRUNE_TEST_DATA "/dwg/2000_Line.dwg");
    const QString winBmp = dir.file(QStringLiteral("w.bmp"));
    const std::optional<QString> saved = saveBitmap(readDwgPreview(drawing).image, winBmp);
    ASSERT_FALSE(saved) << saved->toStdString();
    const CliRun bmp = kestrune({"dwg", drawing.toUtf8(), "--bmp", dir.file(QStringLiteral("c.bmp")).toUtf8()});
    EXPECT_EQ(bmp.code, 0) << bmp.err.constData();
    const QImage winImage(winBmp);
    ASSERT_FALSE(winImage.isNull());
    EXPECT_EQ(QImage(dir.file(QStringLiteral("c.bmp"))), winImage);
    const CliRun png = kestrune({"dwg", drawing.toUtf8(), "--png", dir.file(QStringLiteral("c.png")).toUtf8()});
    EXPECT_EQ(png.code, 0);
    EXPECT_EQ(QImage(dir.file(QStringLiteral("c.png"))).convertToFormat(QImage::Format_RGB32),
              QImage(winBmp).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(kestrune({"dwg", KESTRUNE_TEST_DATA "/dwg/2018_Line.dwg", "--png", "x.png"}).code, 1);
}

// compile and register start the programs the windows start, with the
// same arguments: a compiler of one's own, and wine (a stand-in on the PATH).
TEST_F(CliTest, CompileAndRegisterStartWhatTheWindowsStart)
{
    const QString log = dir.file(QStringLiteral("started.log"));
    const QString tools = dir.mkdir(QStringLiteral("tools"));
    for (const QString& name : {QStringLiteral("build.sh"), QStringLiteral("wine")}) {
        const QString script = dir.write(QStringLiteral("tools/") + name,
                                         "#!/bin/sh\nprintf '%s\\n' \"$0 $*\" >> '" + log.toUtf8() + "'\n");
        QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", tools.toUtf8() + ':' + path);
    qputenv("WINEPREFIX", dir.file(QStringLiteral("no-prefix")).toUtf8());
    dir.write(QStringLiteral("projects/a.vbp"));
    dir.write(QStringLiteral("projects/sub/B.VBP"));
    dir.write(QStringLiteral("projects/notes.txt"));
    dir.write(QStringLiteral("libs/one.dll"));
    dir.write(QStringLiteral("libs/two.OCX"));
    dir.write(QStringLiteral("libs/sub/three.dll"));
    auto started = [&](int lines) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && readBytes(log).count('\n') < lines)
            QThread::msleep(10);
        QList<QByteArray> all = lines == 0 ? QList<QByteArray>() : ::lines(readBytes(log));
        std::sort(all.begin(), all.end());  // the compilers run side by side
        QFile::remove(log);
        return all;
    };

    scripted().startRuns = true;
    frmCompile compiler;
    compiler.list().addTree(FileSystemObject().GetFolder(dir.file(QStringLiteral("projects"))), QStringLiteral("vbp"));
    compiler.Text2->setText(dir.file(QStringLiteral("tools/build.sh")));
    compiler.Command2_Click();
    const QList<QByteArray> byWindow = started(2);
    const CliRun compile = kestrune({"compile", "--compiler", dir.file(QStringLiteral("tools/build.sh")).toUtf8(),
                                     dir.file(QStringLiteral("projects")).toUtf8()});
    EXPECT_EQ(compile.code, 0) << compile.err.constData();
    EXPECT_EQ(started(2), byWindow);
    EXPECT_EQ(lines(compile.out).size(), 2);

    Frmregsvr registration;
    registration.Text4->setText(dir.file(QStringLiteral("libs")));
    registration.Command5_Click();
    ASSERT_TRUE(finishBatches());
    const QList<QByteArray> registeredByWindow = started(2);
    const CliRun reg = kestrune({"register", dir.file(QStringLiteral("libs")).toUtf8()});
    EXPECT_EQ(reg.code, 0) << reg.err.constData();
    EXPECT_EQ(started(2), registeredByWindow);
    ASSERT_EQ(registeredByWindow.size(), 2);
    EXPECT_TRUE(registeredByWindow[0].contains("regsvr32 /s Z:\\"));
    qputenv("PATH", path);
    qunsetenv("WINEPREFIX");
}

// SIGINT in the middle of a large copy: the copy is undone (no temporary
// file, no half file), and the status says the run was interrupted.
TEST_F(CliTest, InterruptMidCopyLeavesNoHalfFile)
{
    const QString src = dir.mkdir(QStringLiteral("big"));
    const QString dst = dir.mkdir(QStringLiteral("bigdst"));
    {
        QFile big(src + QStringLiteral("/big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(2) << 30));  // sparse: cheap to make, slow to copy
    }
    bool sawCopy = false;
    const CliRun run = kestrune({"copy", "--pattern", "*.*", encodeFileName(src), encodeFileName(dst)}, [&](pid_t pid) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000 && !sawCopy) {
            sawCopy = !QDir(dst).entryList(QDir::Files | QDir::Hidden).isEmpty();
            QThread::usleep(200);
        }
        ::kill(pid, SIGINT);
    });
    ASSERT_TRUE(sawCopy);
    EXPECT_EQ(run.code, 128 + SIGINT) << run.err.constData();
    EXPECT_TRUE(run.err.contains("操作已取消!")) << run.err.constData();
    EXPECT_TRUE(QDir(dst).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// A user without a display and without a writable program folder: the
// command runs and keeps its database in the user's data folder.
TEST_F(CliTest, RunsAsAnotherUserWithoutDisplay)
{
    if (::geteuid() != 0 || ::access("/usr/sbin/runuser", X_OK) != 0)
        GTEST_SKIP() << "needs root and runuser to become nobody";
    const QString home = dir.mkdir(QStringLiteral("home"));
    dir.write(QStringLiteral("home/files/a.txt"), "a");
    for (const QString& p : {dir.path(), home, home + QStringLiteral("/files"), scratch})
        ::chmod(p.toUtf8().constData(), 0777);
    const QByteArray env = "XDG_DATA_HOME=" + home.toUtf8() + "/data";
    const CliRun run = runProgram(scratch, {"record", home.toUtf8() + "/files"}, {},
                               {"/usr/sbin/runuser", "-u", "nobody", "--", "/usr/bin/env", "-u", "DISPLAY", env,
                                (cliProg + QStringLiteral("/kestrune")).toUtf8()});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/data/Kestrune/db1.mdb")));
    EXPECT_FALSE(QFile::exists(cliProg + QStringLiteral("/db1.mdb")));
}

// Deletes follow the trash choice; --trash and --no-trash choose for one run.
TEST_F(CliTest, DeletesGoToTheTrashOrForGoodAsChosen)
{
    const QString trash = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Trash");
    const QByteArray first = dir.write(QStringLiteral("t1/kept-in-trash.txt"), "1").toUtf8();
    dir.write(QStringLiteral("t2/gone-for-good.txt"), "2");
    CliRun run = kestrune({"delete", "--pattern", "*.txt", "--trash", dir.file("t1").toUtf8()});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_EQ(lines(run.out), QList<QByteArray>{first});
    EXPECT_EQ(readBytes(trash + QStringLiteral("/files/kept-in-trash.txt")), QByteArray("1"));
    EXPECT_TRUE(readBytes(trash + QStringLiteral("/info/kept-in-trash.txt.trashinfo")).contains("Path=" + first));

    run = kestrune({"delete", "--pattern", "*.txt", "--no-trash", dir.file("t2").toUtf8()});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_FALSE(dir.exists(QStringLiteral("t2/gone-for-good.txt")));
    EXPECT_FALSE(QFileInfo::exists(trash + QStringLiteral("/files/gone-for-good.txt")));

    run = kestrune({"dupes", "--delete", "--trash", "--no-trash", "--names", "a", "--in", "b"});
    EXPECT_EQ(run.code, 2);
}
