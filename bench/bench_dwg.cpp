// Reads and decodes the preview of every sample drawing 1,000 times and
// prints previews per second and how long single opens take. Another folder
// of drawings may be given as the argument.
#include "benchutil.h"

#include "core/documents/dwgpreview.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kestrune::bench;

namespace {
const char kUsage[] =
    "usage: bench_dwg [FOLDER]\n"
    "Reads and decodes the preview of every drawing in FOLDER (by default the test\n"
    "drawings) 1,000 times.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1);
    QCoreApplication app(argc, argv);
    // By default the test drawings of the source tree, whose build/bin holds this program.
    const QString folder = !args.positional.isEmpty() ? args.positional.first()
                                    : QCoreApplication::applicationDirPath() + "/../../tests/data/dwg";
    QStringList files;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.dwg")}, QDir::Files, QDir::Name))
        files << QDir(folder).filePath(name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no drawings in %s\n", qPrintable(folder));
        return 1;
    }
    const int rounds = 1000;
    for (const QString& file : files) {
        int pictures = 0;
        std::vector<double> times;
        const double seconds = kestrune::bench::timeSeconds([&] {
            for (int i = 0; i < rounds; ++i) {
                QElapsedTimer one;
                one.start();
                pictures += kestrune::readDwgPreview(file).ok() ? 1 : 0;
                times.push_back(one.nsecsElapsed() / 1e6);
            }
        });
        std::sort(times.begin(), times.end());
        std::printf("%-24s %8.0f previews/s  median %6.3f ms  99th %6.3f ms  slowest %6.3f ms  (%s)\n",
                    qPrintable(QDir(folder).relativeFilePath(file)), rounds / seconds,
                    kestrune::bench::median(times), times[times.size() * 99 / 100], times.back(),
                    pictures ? "picture" : "no picture");
    }
    int total = 0;
    const double seconds = kestrune::bench::timeSeconds([&] {
        for (int i = 0; i < rounds; ++i)
            for (const QString& file : files)
                total += kestrune::readDwgPreview(file).ok() ? 1 : 0;
    });
    std::printf("all samples: %.0f previews/s (%d files x %d rounds in %.3f s)\n",
                rounds * files.size() / seconds, int(files.size()), rounds, seconds);
    return 0;
}
