#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune::test {

TempDir::TempDir() : m_dir(QDir::tempPath() + QStringLiteral("/kestrune-test-XXXXXX")) {}

TempDir::~TempDir()
{
    const QByteArray root = QFile::encodeName(m_dir.path());
    if (root.isEmpty())
        return;
    ::nftw(
        root.constData(),
        [](const char* p, const struct stat*, int type, struct FTW*) {
            if (type == FTW_DP)
                ::rmdir(p);
            else
                ::unlink(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QString TempDir::file(const QString& relative) const
{
    return m_dir.path() + QLatin1Char('/') + relative;
}

QString TempDir::write(const QString& relative, const QByteArray& bytes)
{
    const QString p = file(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return p;
}

QString TempDir::mkdir(const QString& relative)
{
    const QString p = file(relative);
    QDir().mkpath(p);
    return p;
}

bool TempDir::exists(const QString& relative) const
{
    return QFileInfo::exists(file(relative));
}

QByteArray TempDir::read(const QString& relative) const
{
    return readBytes(file(relative));
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void setReadOnly(const QString& path, bool readOnly)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0)
        return;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    ::chmod(native.constData(), mode);
}

}  // namespace kestrune::test
