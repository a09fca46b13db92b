// Deleting into the trash: the batch file manager's walk putting every file
// of a generated tree into the desktop's trash, against `gio trash` on the
// same files (one call per 1,000 files, as a script would pass them), and
// against the same walk deleting for good. Each run works on a fresh copy of
// the tree and starts with an empty trash of its own ($XDG_DATA_HOME in the
// work folder, on the tree's file system).
//
//   bench_trash [files] [folders] [runs] [work folder]

#include "benchutil.h"

#include "core/filemanager/batchwalk.h"
#include "core/fs/fso.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

const char kUsage[] =
    "usage: bench_trash [files] [folders] [runs] [work folder]\n"
    "  Puts <files> files (default 50000) spread over <folders> folders (default 50)\n"
    "  into the trash with the file manager's delete, then with `gio trash` (one call\n"
    "  per 1,000 files), and deletes them for good with the same walk; <runs> times\n"
    "  each (default 3), medians reported. The tree and the trashes are made in a\n"
    "  temporary folder of <work folder> (default the system's temporary folder).\n";

// An empty trash of the run's own.
void freshTrash(const QString& dataHome)
{
    run(QStringLiteral("rm -rf %1 && mkdir -p %1").arg(shellQuote(dataHome)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
}

// The file manager's batch as a user starts it: every file ("*.*") of the
// tree, subfolders included, 删除.
double walkDelete(const QString& tree, bool toTrash)
{
    return timeSeconds([&] {
        BatchInputs inputs;
        inputs.singleType = QStringLiteral("*.*");
        inputs.operation = kOpDelete;
        inputs.toTrash = toTrash;
        batchWalk(tree, true, inputs);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments options = readBenchArguments(argc, argv, kUsage, 4);
    QCoreApplication app(argc, argv);
    const int files = countArgument(options, 0, 50000, kUsage);
    const int folders = countArgument(options, 1, 50, kUsage);
    const int runs = countArgument(options, 2, 3, kUsage);
    const QString base = options.positional.size() > 3 ? options.positional.at(3) : QDir::tempPath();
    if (timeCommand(QStringLiteral("gio help trash >/dev/null 2>&1")) < 0) {
        std::fprintf(stderr, "gio is not on the PATH (package libglib2.0-bin)\n");
        return 1;
    }

    QTemporaryDir work(QDir(base).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder in %s\n", qPrintable(base));
        return 1;
    }
    const QString templ = work.filePath(QStringLiteral("template"));
    const QString tree = work.filePath(QStringLiteral("tree"));
    const QString dataHome = work.filePath(QStringLiteral("data"));
    const QString trashFiles = dataHome + QStringLiteral("/Trash/files");
    const QString trashInfo = dataHome + QStringLiteral("/Trash/info");
    std::printf("generating %d files in %d folders...\n", files, folders);
    std::fflush(stdout);
    generateTree(templ, files, folders, 4);

    std::vector<double> ours, gio, forGood;
    bool correct = true;
    for (int i = 0; i < runs; ++i) {
        freshTree(templ, tree);
        freshTrash(dataHome);
        ours.push_back(walkDelete(tree, true));
        correct = correct && countFiles(tree) == 0 && countFiles(trashFiles) == files &&
                  countFiles(trashInfo) == files;

        freshTree(templ, tree);
        freshTrash(dataHome);
        // GIO_USE_VFS=local: gio works on the files itself, without asking a
        // desktop daemon first (its quickest way).
        gio.push_back(timeCommand(
            QStringLiteral("cd %1 && find . -type f -print0 | GIO_USE_VFS=local xargs -0 -n 1000 gio trash --")
                .arg(shellQuote(tree))));
        correct = correct && gio.back() >= 0 && countFiles(tree) == 0 && countFiles(trashFiles) == files;

        freshTree(templ, tree);
        forGood.push_back(walkDelete(tree, false));
        correct = correct && countFiles(tree) == 0;
        std::printf("run %d: trash %.3f s, gio trash %.3f s, for good %.3f s\n", i + 1, ours.back(), gio.back(),
                    forGood.back());
        std::fflush(stdout);
    }
    run(QStringLiteral("rm -rf %1 %2").arg(shellQuote(tree), shellQuote(dataHome)));

    report(QStringLiteral("%1 files to the trash vs gio trash (median of %2)").arg(files).arg(runs), median(ours),
           median(gio));
    report(QStringLiteral("to the trash vs deleting for good (median of %1)").arg(runs), median(ours),
           median(forGood));
    if (!correct) {
        std::printf("the runs did not leave the expected files\n");
        return 1;
    }
    return 0;
}
