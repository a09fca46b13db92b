// Times the shared folder walk against find(1) on a generated tree:
// 200,000 files in 2,000 folders, median of 5 runs each.
#include "benchutil.h"

#include "core/fs/fso.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {
const char kUsage[] =
    "usage: bench_walker [FILES [FOLDERS]]\n"
    "Times the folder walk against find on FILES files (200,000) in FOLDERS folders (2,000).\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 2);
    QCoreApplication app(argc, argv);
    const int files = countArgument(args, 0, 200000, kUsage);
    const int folders = countArgument(args, 1, 2000, kUsage);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kestrune-bench-XXXXXX"));
    const QString root = dir.path() + QStringLiteral("/tree");
    std::printf("generating %d files in %d folders...\n", files, folders);
    generateTree(root, files, folders);

    FileSystemObject fso;
    long counted = 0;
    std::vector<double> ours, reference;
    // One warm-up run each so that both walk a cached tree.
    timeCommand(QStringLiteral("find '%1' -type f | wc -l >/dev/null").arg(root));
    walkFiles(fso.GetFolder(root), true, [&](const File&) { ++counted; });
    for (int run = 0; run < 5; ++run) {
        counted = 0;
        ours.push_back(timeSeconds([&] { walkFiles(fso.GetFolder(root), true, [&](const File&) { ++counted; }); }));
        reference.push_back(timeCommand(QStringLiteral("find '%1' -type f | wc -l >/dev/null").arg(root)));
    }
    std::printf("walker counted %ld files\n", counted);
    report(QStringLiteral("walk vs find -type f | wc -l"), median(ours), median(reference));
    return counted == files ? 0 : 1;
}
