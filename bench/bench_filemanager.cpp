// The batch file manager against find(1): deleting the *.txt files of a
// tree (删除 and 强制删除 with the main menu's 删除时移到回收站 off, 删除 with
// it on), and copying them into one folder. Each run works on a fresh copy
// of a generated tree. With --move-to, the *.txt files are also moved into a
// folder on another file system, against find -exec mv. The benchmark keeps
// its settings and its trash in its work folder.
//
//   bench_filemanager [FILES [FOLDERS [RUNS [WORK FOLDER]]]] [--move-to FOLDER]

#include "benchutil.h"

#include "core/fs/trash.h"
#include "gui/filemanager/frmmove.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <sys/stat.h>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

bool sameFileSystem(const QString& a, const QString& b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev;
}

const char kUsage[] =
    "usage: bench_filemanager [FILES [FOLDERS [RUNS [WORK FOLDER]]]] [--move-to FOLDER]\n"
    "Deletes (for good, forced, then to the trash) and copies the *.txt files (every fourth) of\n"
    "a tree of FILES files (200,000) in FOLDERS folders (2,000) with the batch file\n"
    "manager against find; RUNS runs (5).\n"
    "The tree is made in WORK FOLDER (the temporary folder).\n"
    "--move-to FOLDER: also moves the *.txt files into FOLDER, which should be on\n"
    "another file system than WORK FOLDER, against find -exec mv.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 4, {QStringLiteral("--move-to")});
    QApplication app(argc, argv);
    const int files = countArgument(args, 0, 200000, kUsage);
    const int folders = countArgument(args, 1, 2000, kUsage);
    const int runs = countArgument(args, 2, 5, kUsage);
    const QString base = args.positional.size() > 3 ? args.positional.at(3) : QDir::tempPath();
    const QString moveTo = args.options.value(QStringLiteral("--move-to"));

    QTemporaryDir work(QDir(base).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder in %s\n", qPrintable(base));
        return 1;
    }
    const QString templ = work.filePath(QStringLiteral("template"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    const QString dest = work.filePath(QStringLiteral("dest"));
    // The menu entry and the trash are the benchmark's own, on the tree's
    // file system (read when the first batch starts).
    const QString dataHome = work.filePath(QStringLiteral("data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    std::printf("generating %d files in %d folders...\n", files, folders);
    std::fflush(stdout);
    generateTree(templ, files, folders, 4);
    const int txt = countFiles(templ, QStringLiteral("*.txt"));
    std::printf("%d *.txt files\n", txt);

    std::unique_ptr<QTemporaryDir> moveWork;
    QString moved;
    if (!moveTo.isEmpty()) {
        moveWork = std::make_unique<QTemporaryDir>(QDir(moveTo).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
        if (!moveWork->isValid()) {
            std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(moveTo));
            return 1;
        }
        moved = moveWork->filePath(QStringLiteral("moved"));
        if (sameFileSystem(moveWork->path(), work.path()))
            std::printf("note: %s is on the work folder's file system: the moves are renames\n", qPrintable(moveTo));
    }

    std::vector<double> oursDelete, oursForce, oursTrash, refDelete, oursCopy, refCopy, oursMove, refMove;
    bool correct = true;
    frmmove window;
    for (int i = 0; i < runs; ++i) {
        // Delete for good (删除, then 强制删除, which does not look at the
        // read-only mark), to the trash and with find, each on a fresh tree
        // written out to disk. The order turns with every run, so that the
        // file system's work left over from the copy and its sync does not
        // fall on the same one each time.
        for (int step = 0; step < 4; ++step) {
            const int which = (step + i) % 4;  // 0 for good, 1 to the trash, 2 find, 3 forced for good
            if (which == 2) {
                freshTree(templ, tree);
                refDelete.push_back(timeCommand(QStringLiteral("find %1 -name '*.txt' -delete").arg(shellQuote(tree))));
                continue;
            }
            const bool toTrash = which == 1;
            const bool forced = which == 3;
            if (toTrash)
                run(QStringLiteral("rm -rf %1 && mkdir -p %1").arg(shellQuote(dataHome)));
            saveDeleteToTrashSetting(toTrash);
            freshTree(templ, tree);
            prepareFileManager(window, tree, forced ? 3 : 2, QString());
            (toTrash ? oursTrash : forced ? oursForce : oursDelete).push_back(timeBatch([&] { window.Command3_Click(); }));
            correct = correct && countFiles(tree, QStringLiteral("*.txt")) == 0 &&
                      countFiles(tree, QStringLiteral("*")) == files - txt;
        }
        correct = correct && countFiles(dataHome + QStringLiteral("/Trash/files")) == txt;

        // Copy into one folder.
        freshTree(templ, tree);
        run(QStringLiteral("rm -rf %1 && mkdir %1").arg(shellQuote(dest)));
        prepareFileManager(window, tree, 1, dest);
        oursCopy.push_back(timeBatch([&] { window.Command3_Click(); }));
        correct = correct && countFiles(dest, QStringLiteral("*")) == txt;
        run(QStringLiteral("rm -rf %1 && mkdir %1").arg(shellQuote(dest)));
        refCopy.push_back(
            timeCommand(QStringLiteral("find %1 -name '*.txt' -exec cp -f -t %2 {} +").arg(shellQuote(tree), shellQuote(dest))));
        correct = correct && countFiles(dest, QStringLiteral("*")) == txt;
        std::printf("run %d: delete %.3f / forced %.3f / to the trash %.3f / find %.3f s, copy %.3f / %.3f s", i + 1,
                    oursDelete.back(), oursForce.back(), oursTrash.back(), refDelete.back(), oursCopy.back(), refCopy.back());

        if (!moved.isEmpty()) {
            // Move into a folder on the other file system.
            freshTree(templ, tree);
            run(QStringLiteral("rm -rf %1 && mkdir %1 && sync").arg(shellQuote(moved)));
            prepareFileManager(window, tree, 0, moved);
            oursMove.push_back(timeSeconds([&] { window.Command3_Click(); }));
            correct = correct && countFiles(moved, QStringLiteral("*")) == txt &&
                      countFiles(tree, QStringLiteral("*.txt")) == 0;
            freshTree(templ, tree);
            run(QStringLiteral("rm -rf %1 && mkdir %1 && sync").arg(shellQuote(moved)));
            refMove.push_back(timeCommand(
                QStringLiteral("find %1 -name '*.txt' -exec mv -t %2 {} +").arg(shellQuote(tree), shellQuote(moved))));
            correct = correct && countFiles(moved, QStringLiteral("*")) == txt;
            run(QStringLiteral("rm -rf %1").arg(shellQuote(moved)));
            std::printf(", move %.3f / %.3f s", oursMove.back(), refMove.back());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    run(QStringLiteral("rm -rf %1 %2 %3").arg(shellQuote(tree), shellQuote(dest), shellQuote(dataHome)));

    report(QStringLiteral("delete *.txt for good (median of %1)").arg(runs), median(oursDelete), median(refDelete));
    report(QStringLiteral("force-delete *.txt for good (median of %1)").arg(runs), median(oursForce), median(refDelete));
    report(QStringLiteral("delete *.txt to the trash (median of %1)").arg(runs), median(oursTrash), median(refDelete));
    report(QStringLiteral("for good against to the trash (median of %1)").arg(runs), median(oursDelete),
           median(oursTrash));
    report(QStringLiteral("copy *.txt into one folder (median of %1)").arg(runs), median(oursCopy), median(refCopy));
    if (!moved.isEmpty())
        report(QStringLiteral("move *.txt to another file system (median of %1)").arg(runs), median(oursMove),
               median(refMove));
    if (!correct) {
        std::printf("the batch did not leave the expected files\n");
        return 1;
    }
    return 0;
}
