// Sets both passwords on 100 small .doc files in one engine run and prints
// the office's start-up time and the documents handled per second after it.
// (A .doc cannot carry the modify password: each document gets its open
// password and reports the modify password as not supported.)

#include "benchutil.h"

#include "core/documents/officeword.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;

using namespace kestrune::bench;

namespace {
const char kUsage[] =
    "usage: bench_word [COUNT [DOCUMENT]]\n"
    "Sets both passwords on COUNT (100) copies of a small .doc (DOCUMENT, by default\n"
    "the tests' own) in one engine run.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 2);
    QCoreApplication app(argc, argv);
    const int count = countArgument(args, 0, 100, kUsage);
    // The small document the tests use, found from this source file (its
    // name is relative to the build's bench folder when not absolute), or given.
    QString fixture = args.positional.size() > 1 ? args.positional.at(1) : QString();
    if (fixture.isEmpty()) {
        QDir source = QFileInfo(QStringLiteral(__FILE__)).dir();
        if (source.isRelative())
            source.setPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bench/") + source.path());
        fixture = source.filePath(QStringLiteral("../tests/data/documents/word_sample.doc"));
    }
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString file = dir.filePath(QStringLiteral("doc%1.doc").arg(i, 3, 10, QLatin1Char('0')));
        if (!QFile::copy(fixture, file)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(fixture));
            return 1;
        }
        files << file;
    }

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<OfficeWordApplication> word;
    try {
        word = std::make_unique<OfficeWordApplication>(nullptr, WordEngineLocation{});
    } catch (const WordError& e) {
        std::fprintf(stderr, "%s\n", e.description().toUtf8().constData());
        return 1;
    }
    const double startup = clock.elapsed() / 1000.0;

    int encrypted = 0;
    int failed = 0;
    const double seconds = bench::timeSeconds([&] {
        for (const QString& file : files) {
            try {
                WordDocument* doc = word->openDocument(file, false);
                doc->setPassword(QStringLiteral("739"));
                doc->setWritePassword(QStringLiteral("5917"));
                try {
                    doc->save();
                } catch (const WordError& e) {
                    // The expected answer for .doc: open password set, modify password not supported.
                    if (!e.description().contains(QStringLiteral("不支持")))
                        ++failed;
                }
                doc->close();
                ++encrypted;
            } catch (const WordError&) {
                ++failed;
            }
        }
    });
    const double quitSeconds = bench::timeSeconds([&] { word->quit(); });

    std::printf("office start-up: %.2f s (office alone %.2f s)\n", startup, word->officeStartSeconds());
    std::printf("%d documents in %.2f s: %.1f documents per second (target >= 10), %d failed\n", encrypted, seconds,
                encrypted / seconds, failed);
    std::printf("quit: %.2f s\n", quitSeconds);
    return failed == 0 ? 0 : 1;
}
