// How long the window's event loop is held at worst while the batch file
// manager copies: a tree of many small files, and one large file. A timer
// that should fire every 10 ms measures the longest gap between two of its
// ticks while the batch runs.
//
//   bench_responsiveness [files] [folders] [large file GB] [work folder]

#include "benchutil.h"

#include "gui/filemanager/frmmove.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

struct Stall {
    double seconds = 0;
    qint64 worstMs = 0;
};

// Copies every file of `source` into `destination` through the window and
// measures the longest pause of its event loop meanwhile.
Stall copyWatched(frmmove& w, const QString& source, const QString& destination)
{
    w.Text1->setText(source);
    w.Combo1->setEditText(QStringLiteral("*.*"));
    w.Option1[1]->click();
    w.Text2->setText(destination);
    Stall stall;
    QElapsedTimer gap;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stall.worstMs = qMax(stall.worstMs, gap.restart());
    });
    gap.start();
    ticker.start();
    stall.seconds = timeBatch([&] { w.Command3_Click(); });
    stall.worstMs = qMax(stall.worstMs, gap.elapsed());
    return stall;
}

}  // namespace

const char kUsage[] =
    "usage: bench_responsiveness [FILES [FOLDERS [GIGABYTES [WORK FOLDER]]]]\n"
    "Copies a tree of FILES files (200,000) in FOLDERS folders (2,000), then one file of\n"
    "GIGABYTES (3), with the batch file manager, and reports the longest time its window's\n"
    "event loop was held meanwhile. The files are made in WORK FOLDER (the temporary folder).\n";

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 4, {});
    QApplication app(argc, argv);
    const int files = countArgument(args, 0, 200000, kUsage);
    const int folders = countArgument(args, 1, 2000, kUsage);
    const int gigabytes = countArgument(args, 2, 3, kUsage);
    const QString base = args.positional.size() > 3 ? args.positional.at(3) : QDir::tempPath();

    QTemporaryDir work(QDir(base).filePath(QStringLiteral("kestrune-bench-XXXXXX")));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a work folder in %s\n", qPrintable(base));
        return 1;
    }
    frmmove window;
    window.show();

    std::printf("generating %d files in %d folders...\n", files, folders);
    std::fflush(stdout);
    const QString tree = work.filePath(QStringLiteral("tree"));
    generateTree(tree, files, folders, 4);
    QDir().mkpath(work.filePath(QStringLiteral("out1")));
    const Stall many = copyWatched(window, tree, work.filePath(QStringLiteral("out1")));
    std::printf("%-40s %8.3f s, event loop held at most %lld ms\n", "copy of the tree", many.seconds,
                static_cast<long long>(many.worstMs));
    std::fflush(stdout);

    // One large file with real data (zeros written out, not a sparse copy).
    const QString large = work.filePath(QStringLiteral("large"));
    QDir().mkpath(large);
    const qint64 bytes = qint64(gigabytes) << 30;
    timeCommand(QStringLiteral("head -c %1 /dev/zero > %2").arg(bytes).arg(shellQuote(large + QStringLiteral("/big.dat"))));
    QDir().mkpath(work.filePath(QStringLiteral("out2")));
    const Stall one = copyWatched(window, large, work.filePath(QStringLiteral("out2")));
    std::printf("%-40s %8.3f s, event loop held at most %lld ms\n",
                qPrintable(QStringLiteral("copy of one %1 GB file").arg(gigabytes)), one.seconds,
                static_cast<long long>(one.worstMs));
    const bool ok = QFileInfo(work.filePath(QStringLiteral("out2/big.dat"))).size() == bytes;
    if (!ok)
        std::printf("the large file was not copied whole\n");
    return ok ? 0 : 1;
}
