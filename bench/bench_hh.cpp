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
#include <random>

using namespace kestrune::bench;

namespace {

constexpr int kPages = 2200;
constexpr int kFolders = 22;
constexpr int kPageBytes = 10 * 1024;

// Text that compresses about as well as real prose does: words drawn from a
// small vocabulary with a fixed seed, so every run builds the same file.
QByteArray pageText(std::mt19937& random, int page) {
    static const char* const kWords[] = {
        "kestrune", "folder",  "decompile", "window", "help",    "topic",  "index",  "search",
        "file",     "record",  "database",  "filter", "extension", "batch", "compile", "project",
        "library",  "register", "password", "drawing", "preview", "bitmap", "zoom",   "list",
        "the",      "of",      "and",       "to",     "a",       "in",     "is",     "for"};
    std::uniform_int_distribution<int> pick(0, int(std::size(kWords)) - 1);
    std::uniform_int_distribution<int> number(0, 99999);
    QByteArray html = "<html><head><title>Page " + QByteArray::number(page) +
                      "</title></head><body>\n<h1>Page " + QByteArray::number(page) + "</h1>\n<p>";
    while (html.size() < kPageBytes) {
        html += kWords[pick(random)];
        html += (number(random) % 13 == 0) ? ". " + QByteArray::number(number(random)) + " " : " ";
        if (number(random) % 97 == 0)
            html += "</p>\n<p>";
    }
    html += "</p></body></html>\n";
    return html;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes the pages and the project file; returns the project file's path.
QString generateProject(const QString& root, qint64& contentBytes) {
    std::mt19937 random(7);
    QByteArray files = "[FILES]\n";
    QByteArray toc = "<html><body><ul>\n";
    contentBytes = 0;
    for (int i = 0; i < kPages; ++i) {
        const QString relative = QStringLiteral("part%1/page%2.htm").arg(i % kFolders, 2, 10, QLatin1Char('0')).arg(i);
        QDir(root).mkpath(QFileInfo(root + "/" + relative).path());
        const QByteArray html = pageText(random, i);
        contentBytes += html.size();
        if (!writeFile(root + "/" + relative, html))
            return {};
        files += relative.toUtf8() + "\n";
        toc += "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Page " + QByteArray::number(i) +
               "\"><param name=\"Local\" value=\"" + relative.toUtf8() + "\"></object>\n";
    }
    toc += "</ul></body></html>\n";
    writeFile(root + "/toc.hhc", toc);
    const QByteArray project = "[OPTIONS]\nCompiled file=big.chm\nContents file=toc.hhc\n"
                               "Default topic=part00/page0.htm\nTitle=Kestrune benchmark\n\n" +
                               files;
    const QString path = root + "/big.hhp";
    return writeFile(path, project) ? path : QString();
}

QString quoted(const QString& path) { return QLatin1Char('\'') + path + QLatin1Char('\''); }

}  // namespace

int main(int argc, char** argv) {
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
    const QString workRoot = argc > 1 ? QDir(QString::fromLocal8Bit(argv[1])).absolutePath() : temporary.path();
    QDir().mkpath(workRoot);
    const QString source = workRoot + QStringLiteral("/source");
    const QString chm = source + QStringLiteral("/big.chm");
    qint64 contentBytes = 0;
    double compileTime = 0;
    if (!QFile::exists(chm)) {
        const QString project = generateProject(source, contentBytes);
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
