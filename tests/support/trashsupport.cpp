#include "support/trashsupport.h"

#include "core/fs/fsnames.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

namespace kestrune::test {

OwnTrash::OwnTrash() : m_old(qgetenv("XDG_DATA_HOME")), m_hadOld(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
{
    qputenv("XDG_DATA_HOME", m_dir.file(QStringLiteral("data")).toLocal8Bit());
}

OwnTrash::~OwnTrash()
{
    if (m_hadOld)
        qputenv("XDG_DATA_HOME", m_old);
    else
        qunsetenv("XDG_DATA_HOME");
}

namespace {

// Runs a program to its end; its exit status, or -1 with `why` set.
int run(const QString& program, const QStringList& arguments, QString* why, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(2000);
        if (why)
            *why = program + QStringLiteral(": ") + p.errorString();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if ((p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) && why)
        *why = program + QStringLiteral(" ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") +
               QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

LoopMount::LoopMount(const QString& mountPoint) : m_mountPoint(mountPoint)
{
    if (::geteuid() != 0) {
        m_why = QStringLiteral("mounting a file system needs root");
        return;
    }
    char image[] = "/var/tmp/kestrune-loop-XXXXXX";
    const int fd = ::mkstemp(image);
    if (fd < 0) {
        m_why = QStringLiteral("no image file");
        return;
    }
    ::close(fd);
    m_image = QString::fromLocal8Bit(image);
    QDir().mkpath(m_mountPoint);
    if (run(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("16M"), m_image}, &m_why) != 0 ||
        run(QStringLiteral("mke2fs"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-t"),
                                       QStringLiteral("ext4"), m_image},
            &m_why) != 0 ||
        run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), m_image, m_mountPoint}, &m_why) !=
            0)
        return;
    m_mounted = true;
}

LoopMount::~LoopMount()
{
    if (m_mounted)
        run(QStringLiteral("umount"), {m_mountPoint}, nullptr);
    if (!m_image.isEmpty())
        QFile::remove(m_image);
}

bool LoopMount::makeReadOnly()
{
    return m_mounted &&
           run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_mountPoint}, &m_why) == 0;
}

QByteArray trashInfo(const QString& trash, const QByteArray& entry)
{
    // Opened by its bytes: QFile would not reach a name that is not UTF-8.
    const QByteArray path = encodeFileName(trash) + "/info/" + entry + ".trashinfo";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QFile f;
    QByteArray bytes;
    if (f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        bytes = f.readAll();
    return bytes;
}

QList<QByteArray> trashEntries(const QString& trash)
{
    QList<QByteArray> names;
    const QByteArray files = encodeFileName(trash) + "/files";
    if (DIR* d = ::opendir(files.constData())) {
        while (const dirent* e = ::readdir(d)) {
            const QByteArray name(e->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray infoPathLine(const QByteArray& path)
{
    return "Path=" + path.toPercentEncoding("/");
}

bool isTrashInfoFor(const QByteArray& info, const QByteArray& path)
{
    const QList<QByteArray> lines = info.split('\n');
    static const QRegularExpression date(QStringLiteral("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"));
    return lines.size() >= 3 && lines[0] == "[Trash Info]" && lines.contains(infoPathLine(path)) &&
           std::any_of(lines.begin(), lines.end(),
                       [](const QByteArray& l) { return date.match(QString::fromLatin1(l)).hasMatch(); });
}

QMap<QString, QString> gioTrashList(QString* error)
{
    QMap<QString, QString> listed;
    QByteArray out;
    if (run(QStringLiteral("dbus-run-session"),
            {QStringLiteral("--"), QStringLiteral("gio"), QStringLiteral("trash"), QStringLiteral("--list")}, error,
            &out) != 0)
        return listed;
    for (const QByteArray& line : out.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            listed.insert(QString::fromUtf8(line.mid(tab + 1)), QString::fromUtf8(line.left(tab)));
    }
    return listed;
}

bool gioTrashRestore(const QString& address, QString* error)
{
    return run(QStringLiteral("dbus-run-session"),
               {QStringLiteral("--"), QStringLiteral("gio"), QStringLiteral("trash"), QStringLiteral("--restore"),
                address},
               error) == 0;
}

}  // namespace kestrune::test
