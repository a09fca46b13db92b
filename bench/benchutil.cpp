#include "benchutil.h"

#include "gui/filemanager/frmmove.h"
#include "core/batch/batchrunner.h"
#include "core/batch/programrunner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QDir>
#include <QDirIterator>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <random>

#include <sys/resource.h>

namespace kestrune::bench {

namespace {
[[noreturn]] void usageError(const char* program, const char* usage, const QString& problem)
{
    std::fprintf(stderr, "%s: %s\n%s", program, qPrintable(problem), usage);
    std::exit(2);
}
}  // namespace

BenchArguments readBenchArguments(int argc, char** argv, const char* usage, int maxPositional,
                                  const QStringList& valueOptions)
{
    BenchArguments result;
    const char* program = argc > 0 ? argv[0] : "bench";
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                optionsEnded = true;
                continue;
            }
            if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
                std::fputs(usage, stdout);
                std::exit(0);
            }
            const QString name = QString::fromLocal8Bit(arg);
            if (!valueOptions.contains(name))
                usageError(program, usage, QStringLiteral("unknown option '%1'").arg(name));
            if (i + 1 >= argc)
                usageError(program, usage, QStringLiteral("option '%1' needs a value").arg(name));
            result.options.insert(name, QString::fromLocal8Bit(argv[++i]));
            continue;
        }
        result.positional << QString::fromLocal8Bit(arg);
    }
    if (result.positional.size() > maxPositional)
        usageError(program, usage, QStringLiteral("too many arguments"));
    return result;
}

int countArgument(const BenchArguments& args, int index, int fallback, const char* usage)
{
    if (index >= args.positional.size())
        return fallback;
    bool ok = false;
    const int n = args.positional.at(index).toInt(&ok);
    if (!ok || n < 1)
        usageError("bench", usage, QStringLiteral("'%1' is no count").arg(args.positional.at(index)));
    return n;
}

double timeSeconds(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

QString shellQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

double timeCommand(const QString& command)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return double(t.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

namespace {
double usageSeconds(int who)
{
    struct rusage u;
    if (::getrusage(who, &u) != 0)
        return 0;
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

double cpuSeconds()
{
    return usageSeconds(RUSAGE_SELF);
}

double childCpuSeconds()
{
    return usageSeconds(RUSAGE_CHILDREN);
}

void generateTree(const QString& root, int files, int folders, int typeEvery, const QString& typeExt, int typeLimit)
{
    static const char* const kOther[] = {".doc", ".htm", ".dat"};
    QDir().mkpath(root);
    // Folders two levels deep: root/dNN/sNNN.
    std::vector<QString> dirs;
    const int top = std::max(1, folders / 20);
    for (int i = 0; i < folders; ++i) {
        const QString d = QStringLiteral("%1/d%2/s%3").arg(root).arg(i % top, 3, 10, QLatin1Char('0')).arg(i, 5, 10,
                                                                                                            QLatin1Char('0'));
        QDir().mkpath(d);
        dirs.push_back(d);
    }
    for (int i = 0; i < files; ++i) {
        const bool typed = i % typeEvery == 0 && (typeLimit < 0 || i / typeEvery < typeLimit);
        const QString ext = typed ? typeExt : QString::fromLatin1(kOther[i % 3]);
        QFile f(QStringLiteral("%1/file%2%3").arg(dirs[size_t(i % folders)]).arg(i).arg(ext));
        if (f.open(QIODevice::WriteOnly))
            f.write("kestrune\n");
    }
}

namespace {

// Text that compresses about as well as real prose does: words drawn from a
// small vocabulary with a fixed seed, so every run builds the same file.
QByteArray pageText(std::mt19937& random, int page)
{
    static const char* const kWords[] = {
        "kestrune", "folder",  "decompile", "window", "help",    "topic",  "index",  "search",
        "file",     "record",  "database",  "filter", "extension", "batch", "compile", "project",
        "library",  "register", "password", "drawing", "preview", "bitmap", "zoom",   "list",
        "the",      "of",      "and",       "to",     "a",       "in",     "is",     "for"};
    std::uniform_int_distribution<int> pick(0, int(std::size(kWords)) - 1);
    std::uniform_int_distribution<int> number(0, 99999);
    QByteArray html = "<html><head><title>Page " + QByteArray::number(page) +
                      "</title></head><body>\n<h1>Page " + QByteArray::number(page) + "</h1>\n<p>";
    while (html.size() < 10 * 1024) {
        html += kWords[pick(random)];
        html += (number(random) % 13 == 0) ? ". " + QByteArray::number(number(random)) + " " : " ";
        if (number(random) % 97 == 0)
            html += "</p>\n<p>";
    }
    html += "</p></body></html>\n";
    return html;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

QString generateHelpProject(const QString& root, int pages, int folders, qint64& contentBytes)
{
    std::mt19937 random(7);
    QByteArray files = "[FILES]\n";
    QByteArray toc = "<html><body><ul>\n";
    contentBytes = 0;
    for (int i = 0; i < pages; ++i) {
        const QString relative = QStringLiteral("part%1/page%2.htm").arg(i % folders, 2, 10, QLatin1Char('0')).arg(i);
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

void report(const QString& name, double ours, double reference)
{
    std::printf("%-40s ours %8.3f s   reference %8.3f s   ratio %.2f\n", qPrintable(name), ours, reference,
                reference > 0 ? ours / reference : 0.0);
    std::fflush(stdout);
}

int countFiles(const QString& root, const QString& pattern)
{
    int n = 0;
    QDirIterator it(root, {pattern}, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

bool run(const QString& command)
{
    return timeCommand(command) >= 0;
}

bool freshTree(const QString& templ, const QString& tree)
{
    return run(QStringLiteral("rm -rf %1 && cp -a %2 %1 && sync").arg(shellQuote(tree), shellQuote(templ)));
}

void prepareFileManager(frmmove& w, const QString& source, int option, const QString& destination)
{
    w.Text1->setText(source);
    w.Combo1->setEditText(QStringLiteral("*.txt"));
    w.Check1->setChecked(true);
    w.Check3->setChecked(false);
    w.Option1[size_t(option)]->click();
    w.Text2->setText(destination);
    w.Check2->setChecked(true);
}

void waitForBatches()
{
    // Sleeps until something happens (the batch's end is posted to this
    // thread), so that the batch has the processor to itself.
    while (BatchRunner::runningCount() > 0 || ProgramRunner::runningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

double timeBatch(const std::function<void()>& start)
{
    return timeSeconds([&] {
        start();
        waitForBatches();
    });
}

}  // namespace kestrune::bench
