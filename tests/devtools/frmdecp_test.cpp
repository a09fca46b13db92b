#include "devtools/frmdecp.h"

#include "shell/batchprogress.h"
#include "shell/mdiform1.h"
#include "shell/programfolder.h"
#include "shell/textcodec.h"
#include "shell/windowcatalog.h"
#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kestrune;
using kestrune::test::Interaction;
using kestrune::test::readBytes;
using kestrune::test::scripted;
using kestrune::test::TempDir;

namespace {

QString sample(const QString& name)
{
    return QStringLiteral(KESTRUNE_TEST_DATA "/chm/") + name;
}

// Copies a sample help file into the tree under another name.
QString copySample(const TempDir& tmp, const QString& sampleName, const QString& relative)
{
    const QString to = tmp.file(relative);
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::copy(sample(sampleName), to);
    return to;
}

// A stand-in for the decompiler in a program folder of its own: a shell
// script body that gets the decompiler's three arguments.
void useStubDecompiler(const TempDir& tmp, const QByteArray& body)
{
    const QString folder = QDir(tmp.path()).filePath(QStringLiteral("prog"));
    QDir().mkpath(folder);
    QFile script(folder + QStringLiteral("/kestrune-hh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setProgramFolder(folder);
}

void useRealDecompiler()
{
    setProgramFolder(QStringLiteral(KESTRUNE_BIN_DIR));
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

const QString kDone = QStringLiteral("全部chm文件反编译完成!");

}  // namespace

TEST(FrmdecpWindow, LoadsWithItsDesignContentsAndLayout)
{
    Frmdecp w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("chm批量反编译"));
    EXPECT_EQ(w.size(), QSize(348, 245));
    EXPECT_TRUE(w.Check1->isChecked());
    EXPECT_FALSE(w.Check2->isChecked());
    EXPECT_TRUE(w.Check3->isChecked());
    EXPECT_TRUE(w.Text1->text().isEmpty());
    EXPECT_TRUE(w.Text2->text().isEmpty());
    EXPECT_EQ(w.Check3->text(), QStringLiteral("生成hhp文件(Microsoft HTML Help Workshop工程文件)"));
    EXPECT_EQ(w.Label3->text(), QStringLiteral("注:反编译产生的文件会自动放到以chm文件命名的子目录下"));
    EXPECT_EQ(w.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("Command3"))->text(), QStringLiteral("反编译"));

    w.show();
    QApplication::processEvents();
    const QString shots = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
    if (!shots.isEmpty())
        w.grab().save(shots + QStringLiteral("/Frmdecp.png"));
    // Every control inside the window, captions not clipped, none on another.
    const QList<QWidget*> controls = w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(controls.size(), 14);
    for (QWidget* c : controls) {
        EXPECT_TRUE(w.rect().contains(c->geometry())) << c->objectName().toStdString();
        if (!qobject_cast<QLineEdit*>(c)) {
            EXPECT_LE(c->sizeHint().width(), c->width()) << c->objectName().toStdString();
        }
        for (QWidget* other : controls) {
            if (other != c) {
                EXPECT_FALSE(c->geometry().intersects(other->geometry()))
                    << c->objectName().toStdString() << " " << other->objectName().toStdString();
            }
        }
    }
    // The picker buttons stand in a column at the right, the two commands side by side below.
    for (QPushButton* b : {w.Command4, w.Command5, w.Command1, w.Command2})
        EXPECT_EQ(b->x(), w.Command4->x());
    EXPECT_EQ(w.Command3->y(), w.Command6->y());
    EXPECT_GT(w.Command3->y(), w.Check3->geometry().bottom());
}

TEST(FrmdecpWindow, OpensFromTheMenuModelessOwnedAndCentred)
{
    MDIForm1 main;
    main.setGeometry(100, 80, 800, 600);
    main.show();
    ASSERT_TRUE(main.menudecompile->isEnabled());
    auto* w = qobject_cast<Frmdecp*>(main.showToolWindow(QStringLiteral("menudecompile")));
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->parentWidget(), &main);
    const QRect m = main.frameGeometry();
    const QRect f = w->frameGeometry();
    EXPECT_NEAR(f.left(), m.left() + (m.width() - f.width()) / 2, 1);
    EXPECT_NEAR(f.top(), m.top() + (m.height() - f.height()) / 2, 1);
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
    EXPECT_TRUE(w.Text1->isEnabled());
    w.Text2->setText(QStringLiteral("/data/other"));
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/help"));
    w.Check2->click();
    EXPECT_TRUE(w.Command1->isEnabled());
    EXPECT_TRUE(w.Command2->isEnabled());
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/data/help"));

    // With an empty source the destination is emptied, and the batch refuses it.
    w.Text2->clear();
    w.Check2->click();
    EXPECT_TRUE(w.Text1->text().isEmpty());
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), QStringLiteral("请设定目标路径!"));
    EXPECT_TRUE(scripted().of(Interaction::Run).empty());

    // The pickers: a cancel changes nothing; "选择当前目录" puts the program's folder.
    setProgramFolder(QStringLiteral("/opt/kestrune"));
    w.Text2->setText(QStringLiteral("/keep"));
    w.Command4->click();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/keep"));
    scripted().folders.push_back(QStringLiteral("/picked"));
    w.Command4->click();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/picked"));
    EXPECT_EQ(scripted().of(Interaction::Folder).back().text, QStringLiteral("请选择文件夹："));
    w.Command5->click();
    EXPECT_EQ(w.Text2->text(), QStringLiteral("/opt/kestrune"));
}

TEST(FrmdecpWindow, RefusesAMissingSourceOrDecompilerBeforeStartingAnything)
{
    TempDir tmp;
    copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    Frmdecp w;
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    for (const QString& source : {QString(), QStringLiteral("   "), tmp.file(QStringLiteral("none")),
                                  tmp.file(QStringLiteral("src/Guide.chm"))}) {
        scripted().clear();
        w.Text2->setText(source);
        w.Command3->click();
        EXPECT_EQ(onlyMessage(), QStringLiteral("指定的源目录不存在!")) << source.toStdString();
    }
    scripted().clear();
    setProgramFolder(tmp.mkdir(QStringLiteral("empty")));
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), QStringLiteral("找不到反编译程序 %1!").arg(tmp.file(QStringLiteral("empty/kestrune-hh"))));
    EXPECT_TRUE(scripted().of(Interaction::Run).empty());
    EXPECT_FALSE(tmp.exists(QStringLiteral("out")));
}

TEST(FrmdecpBatch, DecompilesEveryHelpFileOfTheTreeDirectlyUnderTheDestination)
{
    TempDir tmp;
    useRealDecompiler();
    const QString guide = copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    const QString notes = copySample(tmp, QStringLiteral("Notes.chm"), QStringLiteral("src/sub/deep/Notes.CHM"));
    const QString help = copySample(tmp, QStringLiteral("Help.zh.chm"), QStringLiteral("src/sub/Help.zh.chm"));
    tmp.write(QStringLiteral("src/readme.chm.bak"));
    tmp.write(QStringLiteral("src/sub/xchm"), "not a help file");  // ends in chm: tried, and fails
    const QString dest = tmp.file(QStringLiteral("out"));

    Frmdecp w;
    w.maxParallel = 2;
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(QStringLiteral("  ") + dest + QStringLiteral(" "));
    w.Command3->click();

    EXPECT_EQ(w.Text1->text(), dest + QStringLiteral("/"));
    // Walk order: the folder's own help files before its subfolders'.
    const std::vector<QStringList> expected{
        {QStringLiteral("-decompile"), dest + QStringLiteral("/Guide/"), guide},
        {QStringLiteral("-decompile"), dest + QStringLiteral("/Help/"), help},
        {QStringLiteral("-decompile"), dest + QStringLiteral("/xchm/"), tmp.file(QStringLiteral("src/sub/xchm"))},
        {QStringLiteral("-decompile"), dest + QStringLiteral("/Notes/"), notes},
    };
    EXPECT_EQ(runArguments(), expected);
    for (const Interaction& run : scripted().of(Interaction::Run))
        EXPECT_EQ(run.text, QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-hh"));
    EXPECT_EQ(QDir(dest).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Guide"), QStringLiteral("Help"), QStringLiteral("Notes")}));

    // Each project lists the whole output, itself included.
    for (const QString& base : {QStringLiteral("Guide"), QStringLiteral("Help"), QStringLiteral("Notes")}) {
        const QString project = dest + QLatin1Char('/') + base + QLatin1Char('/') + base + QStringLiteral(".hhp");
        const QString text = fromGb18030(readBytes(project));
        EXPECT_TRUE(text.contains(QStringLiteral("\r\n") + project + QStringLiteral("\r\n"))) << base.toStdString();
        int listed = 0;
        QDirIterator it(dest + QLatin1Char('/') + base, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            EXPECT_TRUE(text.contains(QStringLiteral("\r\n") + it.next() + QStringLiteral("\r\n")));
            ++listed;
        }
        EXPECT_EQ(text.count(QStringLiteral("\r\n") + dest), listed) << base.toStdString();
    }
    EXPECT_TRUE(fromGb18030(readBytes(dest + QStringLiteral("/Notes/Notes.hhp")))
                    .contains(QStringLiteral("Compiled file=Notes.CHM\r\n")));

    // The damaged one follows the completion message with what the decompiler said.
    const QString message = onlyMessage();
    EXPECT_TRUE(message.startsWith(kDone + QStringLiteral("\n以下文件反编译失败:\n") +
                                   tmp.file(QStringLiteral("src/sub/xchm")) + QStringLiteral(": kestrune-hh: ")))
        << message.toStdString();
    EXPECT_EQ(message.count(QLatin1Char('\n')), 2);
}

TEST(FrmdecpBatch, SubfoldersAreLeftOutWithoutCheck1AndProjectsWithoutCheck3)
{
    TempDir tmp;
    useRealDecompiler();
    copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    copySample(tmp, QStringLiteral("Notes.chm"), QStringLiteral("src/sub/Notes.chm"));
    Frmdecp w;
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    w.Check1->setChecked(false);
    w.Check3->setChecked(false);
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), kDone);
    EXPECT_EQ(runArguments().size(), 1u);
    EXPECT_TRUE(tmp.exists(QStringLiteral("out/Guide")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/Guide/Guide.hhp")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/Notes")));

    // A source without help files still completes.
    scripted().clear();
    w.Text2->setText(tmp.mkdir(QStringLiteral("nothing")));
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), kDone);
    EXPECT_TRUE(runArguments().empty());
}

TEST(FrmdecpBatch, PassesPathsWithBlanksAndChineseAsSeparateArguments)
{
    TempDir tmp;
    useRealDecompiler();
    const QString chm = copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("源 文件夹/帮助 手册.v2.chm"));
    const QString dest = tmp.file(QStringLiteral("输出 目录"));
    Frmdecp w;
    w.Text2->setText(tmp.file(QStringLiteral("源 文件夹")));
    w.Text1->setText(dest);
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), kDone);
    const std::vector<QStringList> expected{
        {QStringLiteral("-decompile"), dest + QStringLiteral("/帮助 手册/"), chm}};
    EXPECT_EQ(runArguments(), expected);
    const QByteArray project = readBytes(dest + QStringLiteral("/帮助 手册/帮助 手册.hhp"));
    EXPECT_TRUE(project.contains("Compiled file=" + toGb18030(QStringLiteral("帮助 手册.v2.chm")) + "\r\n"));
    EXPECT_TRUE(project.contains("\r\n" + toGb18030(dest) + "/"));
}

TEST(FrmdecpBatch, HelpFilesSharingAnOutputFolderRunOneAfterAnotherInWalkOrder)
{
    TempDir tmp;
    // Logs each start and end; the second output file shows who wrote last.
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
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), kDone);

    const QStringList log = QString::fromUtf8(tmp.read(QStringLiteral("prog/log"))).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(log.size(), 6);
    // B ran beside the first A; the second A started only after the first ended.
    EXPECT_LT(log.indexOf(QStringLiteral("start ") + b), log.indexOf(QStringLiteral("end ") + firstA));
    EXPECT_LT(log.indexOf(QStringLiteral("start ") + firstA), log.indexOf(QStringLiteral("end ") + b));
    EXPECT_LT(log.indexOf(QStringLiteral("end ") + firstA), log.indexOf(QStringLiteral("start ") + secondA));
    ASSERT_EQ(runArguments().size(), 3u);
    EXPECT_EQ(runArguments().at(2).at(2), secondA);
    EXPECT_EQ(tmp.read(QStringLiteral("out/A/page.htm")), QFile::encodeName(secondA) + "\n");
    // One project in the shared folder, written after the last decompile.
    EXPECT_TRUE(fromGb18030(tmp.read(QStringLiteral("out/A/A.hhp")))
                    .contains(QStringLiteral("Compiled file=A.old.chm\r\n")));
}

TEST(FrmdecpBatch, FailuresAreListedWithWhatTheDecompilerSaid)
{
    TempDir tmp;
    useRealDecompiler();
    copySample(tmp, QStringLiteral("Guide.chm"), QStringLiteral("src/Guide.chm"));
    QByteArray damaged = readBytes(sample(QStringLiteral("Notes.chm")));
    damaged.truncate(damaged.size() / 3);
    const QString broken = tmp.write(QStringLiteral("src/Broken.chm"), damaged);
    const QString dotted = tmp.write(QStringLiteral("src/.chm"));
    Frmdecp w;
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    w.Command3->click();

    const QStringList lines = onlyMessage().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], kDone);
    EXPECT_EQ(lines[1], QStringLiteral("以下文件反编译失败:"));
    // In walk order; a name without a base name is never started (its output
    // would be the destination itself).
    EXPECT_EQ(lines[2], dotted + QStringLiteral(": 文件名没有主名,无法确定输出目录"));
    EXPECT_TRUE(lines[3].startsWith(broken + QStringLiteral(": kestrune-hh: "))) << lines[3].toStdString();
    EXPECT_EQ(runArguments().size(), 2u);
    EXPECT_TRUE(tmp.exists(QStringLiteral("out/Guide/Guide.hhp")));
}

TEST(FrmdecpBatch, ADecompilerThatLeavesNoOutputFolderHasFailed)
{
    TempDir tmp;
    useStubDecompiler(tmp, "exit 0");
    tmp.write(QStringLiteral("src/Quiet.chm"));
    Frmdecp w;
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    w.Command3->click();
    EXPECT_EQ(onlyMessage(), kDone + QStringLiteral("\n以下文件反编译失败:\n") + tmp.file(QStringLiteral("src/Quiet.chm")) +
                                 QStringLiteral(": 没有生成输出目录 ") + tmp.file(QStringLiteral("out/Quiet")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out")));
}

TEST(FrmdecpBatch, CancelStartsNothingNewAndFinishesWhatRuns)
{
    TempDir tmp;
    useStubDecompiler(tmp, "sleep 0.4\nmkdir -p \"$2\" && echo x > \"$2/page.htm\"");
    for (const char* name : {"a.chm", "b.chm", "c.chm", "d.chm"})
        tmp.write(QStringLiteral("src/") + QLatin1String(name));
    BatchProgress::setShowDelay(0);
    bool dialogSeen = false;
    Frmdecp w;
    w.show();
    BatchProgress::setTestHook([&](const QString& doing, int done) {
        if (auto* d = w.findChild<QProgressDialog*>(QStringLiteral("BatchProgress"))) {
            dialogSeen = d->isVisible() && d->labelText().contains(doing);
            const QString shots = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
            if (dialogSeen && !shots.isEmpty())
                d->grab().save(shots + QStringLiteral("/Frmdecp-progress.png"));
        }
        return done == 0 && dialogSeen;
    });
    w.maxParallel = 2;
    w.Text2->setText(tmp.file(QStringLiteral("src")));
    w.Text1->setText(tmp.file(QStringLiteral("out")));
    w.Command3->click();
    BatchProgress::setTestHook({});
    BatchProgress::setShowDelay(500);

    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(onlyMessage(), QStringLiteral("反编译已取消!"));
    EXPECT_EQ(runArguments().size(), 2u);
    EXPECT_TRUE(tmp.exists(QStringLiteral("out/a/a.hhp")));
    EXPECT_TRUE(tmp.exists(QStringLiteral("out/b/b.hhp")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/c")));
    EXPECT_FALSE(tmp.exists(QStringLiteral("out/d")));
}
