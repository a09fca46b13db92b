// `kestrune COMMAND` against the window's batch on the same tree: copy and
// delete of the *.txt files (batch file manager), a duplicate search
// (duplicate finder) and the recording of one large folder (recorder). The
// command's time is the whole process (start-up included, without a
// display); the window's is its batch from the click to the result. Each
// run works on a fresh copy of a generated tree. Then the start-up of a
// command without a display: `kestrune help` and `kestrune log`.
//
//   bench_cli [files] [folders] [runs] [work folder]

#include "benchutil.h"

#include "core/duplicates/duplicatesearch.h"
#include "gui/duplicates/frmdlg.h"
#include "core/duplicates/pathlistmodel.h"
#include "gui/filemanager/frmmove.h"
#include "gui/records/frmrec.h"
#include "core/records/recordstore.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include <unistd.h>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

}  // namespace

const char kUsage[] =
    "usage: bench_cli [FILES [FOLDERS [RUNS [WORK FOLDER]]]]\n"
    "Times kestrune copy, delete, dupes and record (whole processes, no display)\n"
    "against the windows' batches on the same tree, then the start-up of a\n"
    "command without a display. Defaults: 200000 files, 2000 folders, 3 runs, $TMPDIR.\n";

int main(int argc, char** argv)
{
    const BenchArguments options = readBenchArguments(argc, argv, kUsage, 4);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The windows' messages go to standard error instead of waiting for a click.
    HeadlessPlatform headless;
    setPlatform(&headless);
    const int files = countArgument(options, 0, 200000, kUsage);
    const int folders = countArgument(options, 1, 2000, kUsage);
    const int runs = countArgument(options, 2, 3, kUsage);
    const QString base = options.positional.size() > 3 ? options.positional.at(3) : QDir::tempPath();

    QTemporaryDir work(QDir(base).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder in %s\n", qPrintable(base));
        return 1;
    }
    // The command runs from a folder of its own, so that its db1.mdb is not
    // the window's.
    const QString winProg = work.filePath(QStringLiteral("winprog"));
    const QString cliProg = work.filePath(QStringLiteral("cliprog"));
    QDir().mkpath(winProg);
    QDir().mkpath(cliProg);
    const QString kestrune = cliProg + QStringLiteral("/kestrune");
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrune");
    if (::link(QFile::encodeName(built).constData(), QFile::encodeName(kestrune).constData()) != 0 &&
        !QFile::copy(built, kestrune)) {
        std::fprintf(stderr, "cannot place %s in the work folder\n", qPrintable(built));
        return 1;
    }
    setProgramFolder(winProg);
    const QString k = QStringLiteral("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + shellQuote(kestrune);

    const QString templ = work.filePath(QStringLiteral("template"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    const QString dest = work.filePath(QStringLiteral("dest"));
    const QString flatTree = work.filePath(QStringLiteral("flat"));
    const QString flat = flatTree + QStringLiteral("/d000/s00000");  // where generateTree puts one folder's files
    std::printf("generating %d files in %d folders, and %d in one folder...\n", files, folders, files / 2);
    std::fflush(stdout);
    generateTree(templ, files, folders, 4);
    generateTree(flatTree, files / 2, 1, 4);
    // The names looked for: every 250th file of the tree.
    QStringList names;
    {
        QDirIterator it(templ, QDir::Files, QDirIterator::Subdirectories);
        for (int i = 0; it.hasNext(); ++i) {
            const QString path = it.next();
            if (i % 250 == 0)
                names << path;
        }
    }
    QString nameArgs;
    for (const QString& n : std::as_const(names))
        nameArgs += QLatin1Char(' ') + shellQuote(n);

    std::vector<double> cliCopy, winCopy, cliDelete, winDelete, cliDupes, winDupes, cliRecord, winRecord;
    bool correct = true;
    frmmove mover;
    for (int i = 0; i < runs; ++i) {
        freshTree(templ, tree);
        run(QStringLiteral("rm -rf %1 && mkdir %1 && sync").arg(shellQuote(dest)));
        prepareFileManager(mover, tree, 1, dest);
        winCopy.push_back(timeBatch([&] { mover.Command3_Click(); }));
        const int copied = countFiles(dest);
        run(QStringLiteral("rm -rf %1 && mkdir %1 && sync").arg(shellQuote(dest)));
        cliCopy.push_back(timeCommand(
            QStringLiteral("%1 copy --pattern '*.txt' %2 %3 >/dev/null").arg(k, shellQuote(tree), shellQuote(dest))));
        correct = correct && countFiles(dest) == copied && copied > 0;

        freshTree(templ, tree);
        prepareFileManager(mover, tree, 2, QString());
        winDelete.push_back(timeBatch([&] { mover.Command3_Click(); }));
        const int left = countFiles(tree);
        freshTree(templ, tree);
        cliDelete.push_back(
            timeCommand(QStringLiteral("%1 delete --pattern '*.txt' %2 >/dev/null").arg(k, shellQuote(tree))));
        correct = correct && countFiles(tree) == left;

        {
            FrmDlg finder;
            finder.files().append(names);
            finder.folders().append(QStringList{templ});
            winDupes.push_back(timeBatch([&] { finder.Command7_Click(); }));
            const QString out = work.filePath(QStringLiteral("dupes.txt"));
            cliDupes.push_back(timeCommand(
                QStringLiteral("%1 dupes --names%2 --in %3 >%4").arg(k, nameArgs, shellQuote(templ), shellQuote(out))));
            QFile listed(out);
            correct = correct && listed.open(QIODevice::ReadOnly) &&
                      listed.readAll().count('\n') == finder.found().count();
        }

        {
            frmrec recorder;
            recorder.Text4->setText(flat);
            winRecord.push_back(timeBatch([&] { recorder.Command5_Click(); }));
            cliRecord.push_back(timeCommand(QStringLiteral("%1 record %2").arg(k, shellQuote(flat))));
            RecordStore winStore(winProg + QStringLiteral("/db1.mdb"));
            RecordStore cliStore(cliProg + QStringLiteral("/db1.mdb"));
            const QStringList tables{QStringLiteral("fileInf")};
            correct = correct && winStore.open(tables) && cliStore.open(tables) &&
                      winStore.count(tables[0]) == qint64(i + 1) * (files / 2) &&
                      cliStore.count(tables[0]) == winStore.count(tables[0]);
        }
        std::printf("run %d: copy %.3f / %.3f s, delete %.3f / %.3f s, dupes %.3f / %.3f s, record %.3f / %.3f s\n",
                    i + 1, cliCopy.back(), winCopy.back(), cliDelete.back(), winDelete.back(), cliDupes.back(),
                    winDupes.back(), cliRecord.back(), winRecord.back());
        std::fflush(stdout);
    }
    run(QStringLiteral("rm -rf %1 %2").arg(shellQuote(tree), shellQuote(dest)));

    std::printf("command line (ours) against the window's batch (reference), medians of %d:\n", runs);
    report(QStringLiteral("copy *.txt"), median(cliCopy), median(winCopy));
    report(QStringLiteral("delete *.txt"), median(cliDelete), median(winDelete));
    report(QStringLiteral("dupes (%1 names)").arg(names.size()), median(cliDupes), median(winDupes));
    report(QStringLiteral("record (%1 files)").arg(files / 2), median(cliRecord), median(winRecord));

    std::vector<double> help, log;
    for (int i = 0; i < 30; ++i) {
        help.push_back(timeCommand(QStringLiteral("%1 help >/dev/null").arg(k)));
        log.push_back(timeCommand(QStringLiteral("%1 log >/dev/null").arg(k)));
    }
    std::printf("start-up without a display (median of 30): kestrune help %.1f ms, kestrune log %.1f ms\n",
                median(help) * 1000, median(log) * 1000);
    if (!correct) {
        std::printf("the command did not leave what the window left\n");
        return 1;
    }
    return 0;
}
