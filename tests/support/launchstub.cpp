#include "support/launchstub.h"

#include "core/fs/fsnames.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace kestrune::test {

LaunchStubs::LaunchStubs(bool withWine)
{
    m_oldPath = qgetenv("PATH");
    m_hadPrefix = qEnvironmentVariableIsSet("WINEPREFIX");
    m_oldPrefix = qgetenv("WINEPREFIX");
    m_dir.mkdir(QStringLiteral("bin"));
    m_dir.mkdir(QStringLiteral("runs"));
    m_dir.mkdir(QStringLiteral("prefix"));
    const QByteArray bin = QFile::encodeName(m_dir.file(QStringLiteral("bin")));
    if (withWine) {
        writeStub(m_dir.file(QStringLiteral("bin/wine")));
        qputenv("PATH", bin + ':' + m_oldPath);
    } else {
        qputenv("PATH", bin);
    }
    qputenv("WINEPREFIX", QFile::encodeName(prefix()));
}

LaunchStubs::~LaunchStubs()
{
    qputenv("PATH", m_oldPath);
    if (m_hadPrefix)
        qputenv("WINEPREFIX", m_oldPrefix);
    else
        qunsetenv("WINEPREFIX");
}

QString LaunchStubs::writeStub(const QString& path)
{
    const QString runs = m_dir.file(QStringLiteral("runs"));
    QString script = QStringLiteral(
                         "#!/bin/sh\n"
                         "out='%1'/$$\n"
                         "printf '%s\\0' \"${0##*/}\" \"$@\" > \"$out.part\"\n"
                         "mv \"$out.part\" \"$out.args\"\n"
                         "case \"$*\" in *bad*) exit 3;; esac\n"
                         "exit 0\n")
                         .arg(runs);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(script.toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return path;
}

std::vector<QStringList> LaunchStubs::runs() const
{
    std::vector<QStringList> out;
    const QDir dir(m_dir.file(QStringLiteral("runs")));
    for (const QString& name : dir.entryList({QStringLiteral("*.args")}, QDir::Files)) {
        const QByteArray bytes = readBytes(dir.filePath(name));
        QStringList run;
        for (const QByteArray& part : bytes.split('\0'))
            run << decodeFileName(part);  // a name that is not UTF-8 keeps its bytes
        if (!run.isEmpty() && run.last().isEmpty())
            run.removeLast();
        out.push_back(run);
    }
    std::sort(out.begin(), out.end(), [](const QStringList& a, const QStringList& b) {
        return a.mid(1).join(QLatin1Char('\n')) < b.mid(1).join(QLatin1Char('\n'));
    });
    return out;
}

bool LaunchStubs::waitForRuns(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (int(runs().size()) < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

}  // namespace kestrune::test
