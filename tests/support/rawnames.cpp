#include "support/rawnames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kestrune::test {

namespace {
QByteArray rawPath(const QString& folder, const QByteArray& name)
{
    return encodeFileName(folder) + '/' + name;
}
}  // namespace

QList<QByteArray> mixedNames()
{
    return {QByteArray("ok.txt"), QByteArray("\xC4\xE3\xBA\xC3.txt"), QByteArray("bad\xFF.txt"),
            QByteArray("\xE4\xB8\xAD\xE6\x96\x87.txt")};
}

QString writeRaw(const QString& folder, const QByteArray& name, const QByteArray& content)
{
    const QByteArray p = rawPath(folder, name);
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, content.constData(), size_t(content.size()));
        ::close(fd);
    }
    return decodeFileName(p);
}

bool rawExists(const QString& folder, const QByteArray& name)
{
    struct stat st;
    return ::lstat(rawPath(folder, name).constData(), &st) == 0;
}

void setRawReadOnly(const QString& folder, const QByteArray& name)
{
    ::chmod(rawPath(folder, name).constData(), 0444);
}

ShmDir::ShmDir()
{
    char tmpl[] = "/dev/shm/kestrune-test-XXXXXX";
    if (::mkdtemp(tmpl))
        m_path = QString::fromLatin1(tmpl);
}

ShmDir::~ShmDir()
{
    if (m_path.isEmpty())
        return;
    const QByteArray p = m_path.toLatin1();
    if (DIR* d = ::opendir(p.constData())) {
        while (dirent* e = ::readdir(d)) {
            const QByteArray n(e->d_name);
            if (n != "." && n != "..")
                ::unlink((p + '/' + n).constData());
        }
        ::closedir(d);
    }
    ::rmdir(p.constData());
}

}  // namespace kestrune::test
