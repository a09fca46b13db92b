#include "gui/devtools/frmdecp.h"

#include "gui/common/batchprogress.h"
#include "app/mdiform1.h"
#include "core/fs/fsnames.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "support/batchwait.h"
#include "support/rawnames.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

using namespace kestrune;
using kestrune::test::finishBatches;
using kestrune::test::Interaction;
using kestrune::test::readBytes;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

const QString kDone = QStringLiteral("全部chm文件反编译完成!");
const QString kFailed = QStringLiteral("\n以下文件反编译失败:\n");

QString copySample(TempDir& tmp, const QString& sampleName, const QString& relative)
{
    return tmp.write(relative, readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/chm/") + sampleName));
}

// A shell script in a program folder of its own stands in for the
// decompiler; it gets the decompiler's three arguments.
void useStubDecompiler(TempDir& tmp, const QByteArray& body)
{
    const QString script = tmp.write(QStringLiteral("prog/kestrune-hh"), "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setProgramFolder(tmp.file(QStringLiteral("prog")));
}

void useRealDecompiler()
{
    setProgramFolder(QStringLiteral(KESTRUNE_BIN_DIR));
}

// Runs the batch from `src` into `out` of the folder.
void runBatch(Frmdecp& w, const TempDir& tmp, const QString& destination = QString())
{
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(destination.isEmpty() ? tmp.file(QStringLiteral("out")) : destination);
    w.Command3->click();
    ASSERT_TRUE(finishBatches());
}

std::vector<QStringList> runArguments()
{
    std::vector<QStringList> out;
    for (const Interaction& i : scripted().of(Interaction::Run))
        out.push_back(i.arguments);
    return out;
}

QString onlyMessage()
{
    const auto shown = scripted().of(Interaction::Message);
    EXPECT_EQ(shown.size(), 1u);
    if (shown.empty())
        return QString();
    EXPECT_EQ(shown[0].icon, MsgIcon::Information);
    return shown[0].text;
}

}  // namespace

TEST(FrmdecpWindow, OpensFromTheMenuCentredWithItsDesignContentsLaidOut)
{
    MDIForm1 main;
    main.setGeometry(100, 80, 800, 600);
    main.show();
    auto* w = qobject_cast<Frmdecp*>(main.showToolWindow(QStringLiteral("menudecompile")));
    ASSERT_NE(w, nullptr);
    QApplication::processEvents();
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->parentWidget(), &main);
    const QRect m = main.frameGeometry();
    const QRect f = w->frameGeometry();
    EXPECT_NEAR(f.left(), m.left() + (m.width() - f.width()) / 2, 1);
    EXPECT_NEAR(f.top(), m.top() + (m.height() - f.height()) / 2, 1);

    EXPECT_EQ(w->windowTitle(), QStringLiteral("chm批量反编译"));
    EXPECT_EQ(w->size(), QSize(348, 245));
    EXPECT_TRUE(w->Check1->isChecked());
    EXPECT_FALSE(w->Check2->isChecked());
    EXPECT_TRUE(w->Check3->isChecked());
    EXPECT_EQ(w->Label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    const QString shots = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
    if (!shots.isEmpty())
        w->grab().save(shots + QStringLiteral("/Frmdecp.png"));
    // Every control inside the window, no caption clipped, none on another.
    const QList<QWidget*> controls = w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(controls.size(), 14);
    for (QWidget* c : controls) {
        EXPECT_TRUE(w->rect().contains(c->geometry())) << c->objectName().toStdString();
        if (!qobject_cast<QLineEdit*>(c)) {
            EXPECT_LE(c->sizeHint().width(), c->width()) << c->objectName().toStdString();
        }
        for (QWidget* other : controls) {
            if (other != c) {
                EXPECT_FALSE(c->geometry().intersects(other->geometry())) << c->objectName().toStdString();
            }
        }
    }
}

TEST(FrmdecpWindow, StoringInTheSourceCopiesItOnceAndLocksTheDestinationButtons)
{
    Frmdecp w;
    w.Text2->setText(QStringLiteral("/data/help"));
    w.Text1->setText(QStringLiteral("/elsewhere"));
    w.Check2->click();
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/help"));
    EXPECT_FALSE(w.Command1->isEnabled());
    EXPECT_FALSE(w.Command2->isEnabled());
    w.Text2->setText(QStringLiteral("/data/other"));
    w.Check2->click();
    EXPECT_TRUE(w.Command1->isEnabled());
    EXPECT_TRUE(w.Command2->isEnabled());
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/help"));

    // With an empty source the destination is emptied, and the batch refuses it.
    w.Text2->clear();
    w.Check2->click();
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), QStringLiteral("请设定目标路径!"));
    EXPECT_TRUE(runArguments().empty());
}

TEST(FrmdecpWindow, RefusesAMissingSourceOrDecompilerBeforeStartingAnything)
{
    TempDir tmp;
    copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    Frmdecp w;
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    for (const QString& source : {QStringLiteral("   "), tmp.file(QStringLiteral("none")),
                                  tmp.file(QStringLiteral("src/Guide.chm"))}) {
        scripted().clear();
        w.Text2->setText(source);
        w.Command3->click();
        EXPECT_EQ(onlyMessage(), QStringLiteral("指定的源目录不存在!")) << source.toStdString();
    }
    scripted().clear();
    setProgramFolder(tmp.mkdir(QStringLiteral("empty")));
    runBatch(w, tmp);
    EXPECT_EQ(onlyMessage(), QStringLiteral("找不到反编译程序 %1!").arg(tmp.file(QStringLiteral("empty/kestrune-hh"))));
    EXPECT_TRUE(runArguments().empty());
    EXPECT_FALSE(tmp.exists(QStringLiteral("out")));
}

TEST(FrmdecpBatch, DecompilesTheTreeDirectlyUnderTheDestinationAndListsFailures)
{
    TempDir tmp;
    useRealDecompiler();
    const QString guide = copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    const QString notes = copySample(tmp, QStringLiteral("Notes.chm"), QStringLiteral("src/sub/deep/Notes.CHM"));
    const QString help = copySample(tmp, QStringLiteral("Help.zh.chm"), QStringLiteral("src/sub/Help.zh.chm"));
    QByteArray damaged = readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/chm/Notes.chm"));
    damaged.truncate(damaged.size() / 3);
    const QString broken = tmp.write(QStringLiteral("src/sub/xchm"), damaged);
    const QString dotted = tmp.write(QStringLiteral("src/.chm"));
    tmp.write(QStringLiteral("src/readme.chm.bak"));
    const QString dest = tmp.file(QStringLiteral("out"));

    Frmdecp w;
    w.maxParallel = 2;
    runBatch(w, tmp, QStringLiteral("  ") + dest + QStringLiteral(" "));

    EXPECT_EQ(w.Text1->text(), dest + QStringLiteral("/"));
    // Walk order: a folder's own help files before its subfolders'. A name
    // without a base name is never started: its output would be the
    // destination itself.
    const QString d = QStringLiteral("-decompile");
    const std::vector<QStringList> expected{{d, dest + QStringLiteral("/Guide/"), guide},
                                            {d, dest + QStringLiteral("/Help/"), help},
                                            {d, dest + QStringLiteral("/xchm/"), broken},
                                            {d, dest + QStringLiteral("/Notes/"), notes}};
    EXPECT_EQ(runArguments(), expected);
    EXPECT_EQ(scripted().of(Interaction::Run).front().text, QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-hh"));

    // Each project lists the whole output, itself included.
    for (const QString& base : {QStringLiteral("Guide"), QStringLiteral("Help"), QStringLiteral("Notes")}) {
        const QString folder = dest + QLatin1Char('/') + base;
        const QString text = fromGb18030(readBytes(folder + QLatin1Char('/') + base + QStringLiteral(".hhp")));
        QStringList files;
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        EXPECT_GE(files.size(), 3);
        for (const QString& f : files)
            EXPECT_TRUE(text.contains(QStringLiteral("\r\n") + f + QStringLiteral("\r\n"))) << f.toStdString();
        EXPECT_EQ(text.count(QStringLiteral("\r\n") + dest), files.size()) << base.toStdString();
    }
    EXPECT_TRUE(fromGb18030(readBytes(dest + QStringLiteral("/Notes/Notes.hhp"))).contains(QStringLiteral("=Notes.CHM\r\n")));

    const QStringList lines = onlyMessage().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0] + QLatin1Char('\n') + lines[1] + QLatin1Char('\n'), kDone + kFailed);
    EXPECT_EQ(lines[2], dotted + QStringLiteral(": 文件名没有主名,无法确定输出目录"));
    EXPECT_TRUE(lines[3].startsWith(broken + QStringLiteral(": kestrune-hh: "))) << lines[3].toStdString();
}

// A help file named in GBK (帮助.chm) gets its project, naming it and its
// GBK pages by their own bytes; a page whose stored name holds line feeds
// is left out of the project (it would add lines such as [MAP]) and listed
// after the completion message (after the failures).
TEST(FrmdecpBatch, ProjectsNameGbkFilesByTheirBytesAndLeaveOutNamesWithLineFeeds)
{
    TempDir tmp;
    useStubDecompiler(tmp, "mkdir -p \"$2\" || exit 1\n"
                           "g=$(printf '\\260\\357\\326\\372')\n"
                           "printf p > \"$2${g}x.htm\"\n"
                           "printf p > \"$2evil\n[MAP]\nx.htm\"\n"
                           "case \"$3\" in *Notes.chm) ;; *) echo oops >&2; exit 1;; esac\n");
    const QByteArray gbk = "\xB0\xEF\xD6\xFA";  // 帮助
    tmp.mkdir(QStringLiteral("src"));
    kestrune::test::writeRaw(tmp.file(QStringLiteral("src")), gbk + ".chm");
    tmp.write(QStringLiteral("src/Notes.chm"));
    const QString dest = tmp.file(QStringLiteral("out"));
    Frmdecp w;
    runBatch(w, tmp);

    const QByteArray out = encodeFileName(dest);
    QByteArray project;
    if (FILE* f = std::fopen(out + "/" + gbk + "/" + gbk + ".hhp", "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            project.append(buffer, qsizetype(n));
        std::fclose(f);
    }
    EXPECT_TRUE(project.contains("\r\nCompiled file=" + gbk + ".chm\r\n")) << project.toStdString();
    const QByteArray files = project.mid(project.indexOf("[FILES]\r\n"));
    EXPECT_EQ(files.toStdString(), ("[FILES]\r\n" + out + "/" + gbk + "/" + gbk + ".hhp\r\n" + out + "/" + gbk + "/" + gbk +
                                    "x.htm\r\n[INFOTYPES]\r\n").toStdString());
    EXPECT_FALSE(readBytes(dest + QStringLiteral("/Notes/Notes.hhp")).contains("[MAP]"));

    // The help file's failure names it readable too.
    EXPECT_EQ(onlyMessage().toStdString(), (kDone + kFailed + tmp.file(QStringLiteral("src/帮助.chm: oops")) +
                                            QStringLiteral("\n以下文件的名称无法写入工程文件,未列入:\n") + dest +
                                 QStringLiteral("/Notes/evil\\x0A[MAP]\\x0Ax.htm\n") + dest +
                                 QStringLiteral("/帮助/evil\\x0A[MAP]\\x0Ax.htm")).toStdString());
}

TEST(FrmdecpBatch, SubfoldersAreLeftOutWithoutCheck1AndProjectsWithoutCheck3)
{
    TempDir tmp;
    useRealDecompiler();
    copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    copySample(tmp, QStringLiteral("Notes.chm"), QStringLiteral("src/sub/Notes.chm"));
    Frmdecp w;
    w.Check1->setChecked(false);
    w.Check3->setChecked(false);
    runBatch(w, tmp);
    EXPECT_EQ(onlyMessage(), kDone);
    EXPECT_EQ(runArguments().size(), 1u);
    EXPECT_TRUE(tmp.exists(QStringLiteral("out/Guide/index.htm")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/Guide/Guide.hhp")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/Notes")));

    // A source without help files still completes.
    scripted().clear();
    QFile::remove(tmp.file(QStringLiteral("src/Guide.chm")));
    runBatch(w, tmp);
    EXPECT_EQ(onlyMessage(), kDone);
    EXPECT_TRUE(runArguments().empty());
}

TEST(FrmdecpBatch, PassesPathsWithBlanksAndChineseAsSeparateArguments)
{
    TempDir tmp;
    useRealDecompiler();
    const QString chm = copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/帮助 手册.v2.chm"));
    const QString dest = tmp.file(QStringLiteral("输出 目录"));
    Frmdecp w;
    runBatch(w, tmp, dest);
    EXPECT_EQ(onlyMessage(), kDone);
    const std::vector<QStringList> expected{{QStringLiteral("-decompile"), dest + QStringLiteral("/帮助 手册/"), chm}};
    EXPECT_EQ(runArguments(), expected);
    const QByteArray project = readBytes(dest + QStringLiteral("/帮助 手册/帮助 手册.hhp"));
    EXPECT_TRUE(project.contains("Compiled file=" + toGb18030(QStringLiteral("帮助 手册.v2.chm")) + "\r\n"));
    EXPECT_TRUE(project.contains("\r\n" + toGb18030(dest + QStringLiteral("/帮助 手册/index.htm")) + "\r\n"));
}

TEST(FrmdecpBatch, HelpFilesSharingAnOutputFolderRunOneAfterAnotherInWalkOrder)
{
    TempDir tmp;
    // Logs each start and end; the page shows who wrote last.
    useStubDecompiler(tmp, "log=\"$(dirname \"$0\")/log\"\n"
                           "echo \"start $3\" >> \"$log\"\n"
                           "sleep 0.3\n"
                           "mkdir -p \"$2\" && echo \"$3\" > \"$2/page.htm\"\n"
                           "echo \"end $3\" >> \"$log\"");
    const QString firstA = tmp.write(QStringLiteral("src/A.new.chm"));
    const QString secondA = tmp.write(QStringLiteral("src/A.old.chm"));
    const QString b = tmp.write(QStringLiteral("src/B.chm"));
    Frmdecp w;
    w.maxParallel = 3;
    runBatch(w, tmp);
    EXPECT_EQ(onlyMessage(), kDone);

    const QStringList log = QString::fromUtf8(tmp.read(QStringLiteral("prog/log"))).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(log.size(), 6);
    const auto at = [&log](const char* what, const QString& file) { return log.indexOf(what + file); };
    // B ran beside the first A; the second A started only after the first ended.
    EXPECT_LT(at("start ", b), at("end ", firstA));
    EXPECT_LT(at("start ", firstA), at("end ", b));
    EXPECT_LT(at("end ", firstA), at("start ", secondA));
    EXPECT_EQ(tmp.read(QStringLiteral("out/A/page.htm")), QFile::encodeName(secondA) + "\n");
    EXPECT_TRUE(fromGb18030(tmp.read(QStringLiteral("out/A/A.hhp"))).contains(QStringLiteral("=A.old.chm\r\n")));
}

TEST(FrmdecpBatch, ADecompilerThatLeavesNoOutputFolderHasFailed)
{
    TempDir tmp;
    useStubDecompiler(tmp, "exit 0");
    const QString quiet = tmp.write(QStringLiteral("src/Quiet.chm"));
    Frmdecp w;
    runBatch(w, tmp);
    EXPECT_EQ(onlyMessage(),
              kDone + kFailed + quiet + QStringLiteral(": 没有生成输出目录 ") + tmp.file(QStringLiteral("out/Quiet")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out")));
}

TEST(FrmdecpBatch, CancelStartsNothingNewAndEndsWhatRuns)
{
    TempDir tmp;
    useStubDecompiler(tmp, "sleep 1\nmkdir -p \"$2\" && echo x > \"$2/page.htm\"");
    QStringList files;
    for (const char* name : {"a.chm", "b.chm", "c.chm", "d.chm"})
        files << tmp.write(QStringLiteral("src/") + QLatin1String(name));
    Frmdecp w;
    w.show();
    w.maxParallel = 2;
    // The progress dialog shows at once; the user presses "取消" as soon as
    // it shows the first decompiles (it repaints a few times a second).
    BatchProgress::setShowDelay(0);
    bool dialogSeen = false;
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* d = w.findChild<QProgressDialog*>(QStringLiteral("BatchProgress"));
        if (dialogSeen || !d || !d->isVisible())
            return;
        const QString label = d->labelText();
        if (!(label.contains(QStringLiteral("a.chm")) || label.contains(QStringLiteral("b.chm"))) ||
            !label.contains(QStringLiteral("已处理 0")))
            return;
        dialogSeen = true;
        const QString shots = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
        if (!shots.isEmpty())
            d->grab().save(shots + QStringLiteral("/Frmdecp-progress.png"));
        d->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    });
    user.start();
    runBatch(w, tmp);

    EXPECT_TRUE(dialogSeen);
    // The two running decompiles were ended: listed as cancelled, no project.
    EXPECT_EQ(onlyMessage(), QStringLiteral("反编译已取消!") + kFailed + files[0] + QStringLiteral(": 反编译被取消\n") +
                                 files[1] + QStringLiteral(": 反编译被取消"));
    EXPECT_EQ(runArguments().size(), 2u);
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/a/a.hhp")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/b/b.hhp")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/c")));
}
