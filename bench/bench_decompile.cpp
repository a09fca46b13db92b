// The help decompiler window's batch: 40 help files decompiled, with a help
// project written for each, against chmlib's extract_chmLib run on the same
// files one after another; median of five runs each.
//
// The help file (400 pages, about 4 MB of HTML in 8 folders) is compiled
// first with chmcmd, Free Pascal's help compiler (Debian's fp-utils), and
// copied 40 times under different names.

#include "benchutil.h"

#include "gui/devtools/frmdecp.h"
#include "gui/common/qtplatform.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

constexpr int kPages = 400;
constexpr int kFolders = 8;
constexpr int kCopies = 40;

// The real platform, except that messages are kept instead of shown.
class QuietPlatform : public QtPlatform {
public:
    QStringList messages;
    void messageBox(QWidget*, const QString& text, MsgIcon) override { messages << text; }
};

}  // namespace

namespace {
const char kUsage[] =
    "usage: bench_decompile [WORK FOLDER]\n"
    "Decompiles 40 help files in the help decompiler window against extract_chmLib.\n"
    "WORK FOLDER keeps the generated help files and reuses them on the next run.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString chmcmd = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
    const QString reference = QStandardPaths::findExecutable(QStringLiteral("extract_chmLib"));
    const QString decompiler = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrune-hh");
    if (chmcmd.isEmpty() || reference.isEmpty() || !QFile::exists(decompiler)) {
        std::fprintf(stderr, "bench_decompile needs chmcmd (fp-utils), extract_chmLib (libchm-bin) and %s\n",
                     qPrintable(decompiler));
        return 1;
    }

    // An optional folder argument keeps the generated help files there.
    QTemporaryDir temporary;
    const QString workRoot = !args.positional.isEmpty() ? QDir(args.positional.first()).absolutePath() : temporary.path();
    const QString source = workRoot + QStringLiteral("/source");
    const QString chm = source + QStringLiteral("/big.chm");
    const QString helpFiles = workRoot + QStringLiteral("/chm");
    if (!QFile::exists(chm)) {
        qint64 contentBytes = 0;
        if (generateHelpProject(source, kPages, kFolders, contentBytes).isEmpty() ||
            timeCommand(QStringLiteral("cd %1 && %2 big.hhp >/dev/null 2>&1").arg(shellQuote(source), shellQuote(chmcmd))) < 0) {
            std::fprintf(stderr, "could not compile the help file\n");
            return 1;
        }
        std::printf("help file: %d pages, %.1f MB of content\n", kPages, double(contentBytes) / 1e6);
    }
    QDir().mkpath(helpFiles);
    for (int i = 1; i <= kCopies; ++i)
        QFile::copy(chm, QStringLiteral("%1/Manual%2.chm").arg(helpFiles).arg(i, 2, 10, QLatin1Char('0')));
    std::printf("%d copies of a %.1f MB help file, %d cores\n", kCopies, double(QFileInfo(chm).size()) / 1e6,
                QThread::idealThreadCount());

    QuietPlatform platform;
    setPlatform(&platform);
    const QString out = workRoot + QStringLiteral("/out");
    std::vector<double> oursTimes, referenceTimes;
    for (int run = 0; run < 5; ++run) {
        QDir(out).removeRecursively();
        platform.messages.clear();
        Frmdecp window;
        window.Text2->setText(helpFiles);
        window.Text1->setText(out + QStringLiteral("/ours"));
        oursTimes.push_back(timeBatch([&] { window.Command3->click(); }));
        const int projects = countFiles(out + QStringLiteral("/ours"), QStringLiteral("*.hhp"));
        if (platform.messages != QStringList{QStringLiteral("全部chm文件反编译完成!")} || projects != kCopies) {
            std::fprintf(stderr, "the batch failed (%d projects): %s\n", projects,
                         qPrintable(platform.messages.join(QLatin1Char('\n'))));
            return 1;
        }

        QDir(out).removeRecursively();
        referenceTimes.push_back(
            timeCommand(QStringLiteral("cd %1 && for f in *.chm; do %2 \"$f\" %3/\"${f%.chm}\" >/dev/null || exit 1; done")
                            .arg(shellQuote(helpFiles), shellQuote(reference), shellQuote(out + QStringLiteral("/reference")))));
        if (referenceTimes.back() < 0) {
            std::fprintf(stderr, "extract_chmLib failed\n");
            return 1;
        }
    }
    setPlatform(nullptr);
    report(QStringLiteral("decompile %1 help files + projects").arg(kCopies), median(oursTimes), median(referenceTimes));
    return 0;
}
