#include "core/devtools/helpproject.h"

#include "core/fs/fsnames.h"
#include "core/system/textcodec.h"

#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

// The first of the folder's own files (in listing order) whose name is
// `preferred`, else the first whose name ends in `.ending` in any case.
QString findByStemOrEnding(const std::vector<File>& files, const QString& preferred, const QString& ending)
{
    for (const File& f : files) {
        if (f.Name() == preferred)
            return preferred;
    }
    const QString suffix = QLatin1Char('.') + ending;
    for (const File& f : files) {
        if (f.Name().endsWith(suffix, Qt::CaseInsensitive))
            return f.Name();
    }
    return QString();
}

bool holds(const std::vector<File>& files, const QString& name)
{
    for (const File& f : files) {
        if (f.Name() == name)
            return true;
    }
    return false;
}

}  // namespace

QString helpProjectPath(const QString& outputFolder, const QString& baseName)
{
    return joinPath(outputFolder, baseName + QStringLiteral(".hhp"));
}

bool fitsHelpProject(const QString& name)
{
    if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
        return false;
    if (!hasRawBytes(name))
        return true;
    for (const QString& part : name.split(QLatin1Char('/'))) {
        if (!hasRawBytes(part))
            continue;
        const QByteArray bytes = encodeFileName(part);
        if (toGb18030(fromGb18030(bytes)) != bytes)
            return false;
    }
    return true;
}

QByteArray helpProjectLineBytes(const QString& line)
{
    if (!hasRawBytes(line))
        return toGb18030(line);
    QByteArray out;
    const QStringList parts = line.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += hasRawBytes(parts.at(i)) ? encodeFileName(parts.at(i)) : toGb18030(parts.at(i));
    }
    return out;
}

QStringList helpProjectLines(const Folder& output, const QString& helpFileName, QStringList* unlisted)
{
    const QString stem = helpFileName.left(helpFileName.size() - 3);
    const std::vector<File> own = output.Files();

    QStringList lines;
    // A line naming `name`, unless the project cannot hold that name; then
    // the file is given back once, by its path when it is in the output.
    const auto add = [&](const QString& key, const QString& name, const QString& path) {
        if (fitsHelpProject(name))
            lines << key + name;
        else if (unlisted && !unlisted->contains(path))
            *unlisted << path;
    };
    const auto inOutput = [&output](const QString& name) { return joinPath(output.Path(), name); };
    lines << QStringLiteral("[OPTIONS]") << QStringLiteral("Compatibility=1.1 or later") << QString();
    add(QStringLiteral("Compiled file="), helpFileName, helpFileName);
    const QString contents = findByStemOrEnding(own, stem + QStringLiteral("hhc"), QStringLiteral("hhc"));
    if (!contents.isEmpty())
        add(QStringLiteral("Contents file="), contents, inOutput(contents));

    // The page named after the help file is given by name; the two usual
    // start pages by their full path.
    const QString home = QStringLiteral("主页.htm");
    const QString index = QStringLiteral("index.htm");
    if (holds(own, stem + QStringLiteral("htm")))
        add(QStringLiteral("Default topic="), stem + QStringLiteral("htm"), inOutput(stem + QStringLiteral("htm")));
    else if (holds(own, home))
        add(QStringLiteral("Default topic="), inOutput(home), inOutput(home));
    else if (holds(own, index))
        add(QStringLiteral("Default topic="), inOutput(index), inOutput(index));

    lines << QStringLiteral("Display compile progress=No");
    const QString indexFile = findByStemOrEnding(own, stem + QStringLiteral("hhk"), QStringLiteral("hhk"));
    if (!indexFile.isEmpty())
        add(QStringLiteral("Index file="), indexFile, inOutput(indexFile));
    lines << QStringLiteral("Language=0x804 中文(中国)") << QString() << QStringLiteral("[FILES]");
    walkFiles(output, true, [&add](const File& f) { add(QString(), f.Path(), f.Path()); });
    lines << QStringLiteral("[INFOTYPES]");
    return lines;
}

namespace {

[[noreturn]] void fail(const QString& path, int error, const QString& message = QString())
{
    throw FsError(path, error, message.isEmpty() ? describeError(error) : message);
}

const QString kLinkRefused = QStringLiteral("是符号链接,不经它写入");

// A descriptor closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// The folder `path` opened without following a link in its last part (the
// folders above it are the user's path, followed as given).
int openFolderNoFollow(const QString& path)
{
    const QByteArray bytes = encodeFileName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
    const QByteArray leaf = slash < 0 ? bytes : bytes.mid(slash + 1);
    const Fd parentFd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parentFd.fd < 0)
        fail(path, errno);
    const char* name = leaf.isEmpty() ? "." : leaf.constData();
    const int fd = ::openat(parentFd.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st;
        if (::fstatat(parentFd.fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            fail(path, ELOOP, kLinkRefused);
        fail(path, error);
    }
    return fd;
}

void writeAll(int fd, const QByteArray& bytes, const QString& path)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, p, size_t(left));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail(path, put < 0 ? errno : EIO);
        p += put;
        left -= put;
    }
}

}  // namespace

QStringList writeHelpProject(const FileSystemObject& fso, const QString& outputFolder, const QString& baseName,
                             const QString& helpFileName)
{
    const QString folderPath = fso.GetFolder(outputFolder).Path();
    const QString path = helpProjectPath(folderPath, baseName);
    if (!fitsHelpProject(folderPath))
        fail(folderPath, EILSEQ, QStringLiteral("文件夹名含有换行符或不是GB18030编码,无法写入工程文件"));
    const Fd folder(openFolderNoFollow(folderPath));
    const QByteArray name = encodeFileName(baseName + QStringLiteral(".hhp"));

    // The project file first, so that the listing holds it.
    struct stat old;
    const bool existed = ::fstatat(folder.fd, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed && S_ISLNK(old.st_mode))
        fail(path, ELOOP, kLinkRefused);
    if (existed && !S_ISREG(old.st_mode))
        fail(path, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
    if (!existed) {
        const Fd created(::openat(folder.fd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (created.fd < 0)
            fail(path, errno);
    }

    QStringList unlisted;
    const QStringList lines = helpProjectLines(fso.GetFolder(outputFolder), helpFileName, &unlisted);
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += helpProjectLineBytes(line) + "\r\n";

    // Written beside it and renamed over it: a link put in its place
    // meanwhile is replaced, not written through.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = "." + name + "." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(folder.fd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            fail(path, errno);
    }
    if (fd < 0)
        fail(path, EEXIST);
    try {
        const Fd written(fd);
        writeAll(fd, bytes, path);
        if (existed)
            ::fchmod(fd, old.st_mode & 0777);
        if (::fsync(fd) != 0)
            fail(path, errno);
        if (::renameat(folder.fd, temp.constData(), folder.fd, name.constData()) != 0)
            fail(path, errno);
    } catch (const FsError&) {
        ::unlinkat(folder.fd, temp.constData(), 0);
        throw;
    }
    return unlisted;
}

}  // namespace kestrune
