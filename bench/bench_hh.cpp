// Decompiling a large help file: kestrune-hh against chmlib's extract_chmLib
// on the same file, median of five runs each.
//
// The help file (2,200 pages, about 22 MB of HTML in 22 folders) is compiled
// first with chmcmd, Free Pascal's help compiler (Debian's fp-utils).

#include "benchutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune::bench;

namespace {

constexpr int kPages = 2200;
constexpr int kFolders = 22;

QString quoted(const QString& path) { return QLatin1Char('\'') + path + QLatin1Char('\''); }

}  // namespace

const char kUsage[] =
    "usage: bench_hh [WORK FOLDER]\n"
    "Decompiles a 2,200-page help file with kestrune-hh against extract_chmLib.\n"
    "WORK FOLDER keeps the generated help file and reuses it on the next run.\n";

int main(int argc, char** argv) {
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1);
    QCoreApplication app(argc, argv);
    const QString chmcmd = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
    const QString reference = QStandardPaths::findExecutable(QStringLiteral("extract_chmLib"));
    const QString ours = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrune-hh");
    if (chmcmd.isEmpty() || reference.isEmpty() || !QFile::exists(ours)) {
        std::fprintf(stderr, "bench_hh needs chmcmd (fp-utils), extract_chmLib (libchm-bin) and %s\n",
                     qPrintable(ours));
        return 1;
    }

    // An optional folder argument keeps the generated help file there and
    // reuses it on the next run.
    QTemporaryDir temporary;
    const QString workRoot = !args.positional.isEmpty() ? QDir(args.positional.first()).absolutePath() : temporary.path();
    QDir().mkpath(workRoot);
    const QString source = workRoot + QStringLiteral("/source");
    const QString chm = source + QStringLiteral("/big.chm");
    qint64 contentBytes = 0;
    double compileTime = 0;
    if (!QFile::exists(chm)) {
        const QString project = generateHelpProject(source, kPages, kFolders, contentBytes);
        if (project.isEmpty()) {
            std::fprintf(stderr, "could not write the help project\n");
            return 1;
        }
        compileTime = timeCommand(QStringLiteral("cd %1 && %2 big.hhp >/dev/null 2>&1").arg(quoted(source), quoted(chmcmd)));
    } else {
        QDirIterator it(source, {QStringLiteral("*.htm")}, QDir::Files, QDirIterator::Subdirectories);
        contentBytes = 0;
        while (it.hasNext())
            contentBytes += QFileInfo(it.next()).size();
    }
    if (compileTime < 0 || !QFile::exists(chm)) {
        std::fprintf(stderr, "chmcmd failed\n");
        return 1;
    }
    std::printf("help file: %d pages, %.1f MB of content, %.1f MB compiled (in %.1f s)\n", kPages,
                double(contentBytes) / 1e6, double(QFileInfo(chm).size()) / 1e6, compileTime);

    const QString out = workRoot + QStringLiteral("/out");
    std::vector<double> oursTimes, referenceTimes;
    for (int run = 0; run < 5; ++run) {
        QDir(out).removeRecursively();
        oursTimes.push_back(timeCommand(QStringLiteral("%1 -decompile %2 %3 >/dev/null")
                                            .arg(quoted(ours), quoted(out + "/ours"), quoted(chm))));
        QDir(out).removeRecursively();
        referenceTimes.push_back(timeCommand(QStringLiteral("%1 %2 %3 >/dev/null")
                                                 .arg(quoted(reference), quoted(chm), quoted(out + "/reference"))));
        if (oursTimes.back() < 0 || referenceTimes.back() < 0) {
            std::fprintf(stderr, "a decompile failed\n");
            return 1;
        }
    }
    report(QStringLiteral("decompile %1-page help file").arg(kPages), median(oursTimes), median(referenceTimes));
    return 0;
}
