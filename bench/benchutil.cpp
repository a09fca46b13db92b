#include "benchutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace kestrune::bench {

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

void report(const QString& name, double ours, double reference)
{
    std::printf("%-40s ours %8.3f s   reference %8.3f s   ratio %.2f\n", qPrintable(name), ours, reference,
                reference > 0 ? ours / reference : 0.0);
    std::fflush(stdout);
}

}  // namespace kestrune::bench
