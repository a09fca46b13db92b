// The file-system object: its errors, paths, the object itself and the
// one folder walk. Listings live in fsolisting.cpp, 8.3 names in
// fsoshortnames.cpp, copying and moving in fsofileops.cpp, deleting in
// fsodelete.cpp, text files in fsotextfiles.cpp.
#include "core/fs/fso.h"

#include "core/fs/fsointernal.h"
#include "core/batch/batchrunner.h"

#include <QDir>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace kestrune {

using namespace fsodetail;

// ---------------------------------------------------------------------------
// Errors

FsError::FsError(const QString& path, int errorNumber, const QString& message)
    : std::runtime_error((displayFileName(path) + QStringLiteral(": ") + message).toStdString()),
      m_path(path),
      m_errno(errorNumber),
      m_message(message)
{
}

QString describeError(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT: return QStringLiteral("找不到文件或文件夹");
    case EACCES:
    case EPERM: return QStringLiteral("没有访问权限");
    case EEXIST: return QStringLiteral("已存在同名文件");
    case EISDIR: return QStringLiteral("目标是一个文件夹");
    case ENOTDIR: return QStringLiteral("路径不是文件夹");
    case ELOOP: return QStringLiteral("路径是一个链接");
    case EROFS: return QStringLiteral("文件系统只读");
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EBUSY: return QStringLiteral("文件正在使用");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EINVAL: return QStringLiteral("无效的参数");
    default: return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

namespace fsodetail {

[[noreturn]] void fail(const QString& path, int errorNumber)
{
    throw FsError(path, errorNumber, describeError(errorNumber));
}

[[noreturn]] void fail(const QString& path, int errorNumber, const QString& message)
{
    throw FsError(path, errorNumber, message);
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QDir::separator();
}

struct stat statOrFail(const QString& path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        fail(path, errno);
    return st;
}

}  // namespace fsodetail

QString normalizeFolderPath(const QString& path)
{
    if (path.isEmpty())
        return path;
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    if (QDir::isRelativePath(clean))
        clean = QDir::cleanPath(currentFolderPath() + QLatin1Char('/') + clean);
    return QDir::toNativeSeparators(clean);
}

QString joinPath(const QString& folder, const QString& name)
{
    if (!folder.isEmpty() && isSeparator(folder.back()))
        return folder + name;
    return folder + QDir::separator() + name;
}

// ---------------------------------------------------------------------------
// The object

Folder FileSystemObject::GetFolder(const QString& path) const
{
    const QString clean = normalizeFolderPath(path);
    if (clean.isEmpty())
        fail(path, ENOENT);
    const struct stat st = statOrFail(clean);
    if (!S_ISDIR(st.st_mode))
        fail(clean, ENOTDIR);
    return Folder(std::make_shared<FolderData>(clean, FolderIdentity{st.st_dev, st.st_ino, true}));
}

File FileSystemObject::GetFile(const QString& path) const
{
    if (path.isEmpty())
        fail(path, ENOENT);
    // Worked out on the text alone, so that names with raw bytes survive.
    const QString absolute = normalizeFolderPath(path);
    const struct stat st = statOrFail(absolute);
    if (!S_ISREG(st.st_mode))
        fail(absolute, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    const qsizetype slash = absolute.lastIndexOf(QDir::separator());
    const QString folder = slash <= 0 ? QString(QDir::separator()) : absolute.left(slash);
    return File(std::make_shared<FolderData>(folder), absolute.mid(slash + 1));
}

File FileSystemObject::GetFileBelow(const QString& root, const QString& path) const
{
    const Folder top = GetFolder(root);
    const QString absolute = normalizeFolderPath(path);
    const QString base = top.Path();
    const qsizetype start = base.size() == 1 ? 1 : base.size() + 1;
    if (absolute.size() <= start || !absolute.startsWith(base) || !isSeparator(absolute.at(start - 1)))
        fail(absolute, EXDEV, QStringLiteral("不在所查找的文件夹内"));
    const QStringList parts = absolute.mid(start).split(QDir::separator());
    std::shared_ptr<FolderData> folder = top.m_data;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        folder = std::make_shared<FolderData>(std::move(folder), parts.at(i), FolderIdentity{});
    // Reached through the folder's handle like a file of its listing.
    return File(std::move(folder), parts.back(), File::kBelowRoot);
}

bool FileSystemObject::FileExists(const QString& path) const
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(encoded(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSystemObject::FolderExists(const QString& path) const
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------
// The walk

bool walkFolders(const Folder& root, bool recurse, const std::function<WalkOn(const Folder&)>& visit,
                 WalkProgress progress)
{
    std::vector<Folder> stack{root};
    while (!stack.empty()) {
        Folder folder = std::move(stack.back());
        stack.pop_back();
        if (progress.sink
            && !progress.sink->step(progress.done ? *progress.done : 0, [&folder] { return folder.Path(); }))
            return false;
        const WalkOn next = visit(folder);
        if (next == WalkOn::Stop)
            return false;
        if (next == WalkOn::SkipTree || !recurse)
            continue;
        std::vector<Folder> subs;
        try {
            subs = folder.SubFolders();
        } catch (const FsError&) {
            continue;
        }
        for (auto it = subs.rbegin(); it != subs.rend(); ++it)
            stack.push_back(std::move(*it));
    }
    return true;
}

bool walkListings(const Folder& root, bool recurse,
                  const std::function<WalkOn(const Folder&, std::vector<File>& files)>& visit, WalkProgress progress,
                  const UnlistedFolder& unlisted)
{
    return walkFolders(
        root, recurse,
        [&](const Folder& folder) {
            std::vector<File> files;
            try {
                files = folder.Files();
            } catch (const FsError& e) {
                if (unlisted)
                    unlisted(folder, e);
                return WalkOn::SkipTree;
            }
            return visit(folder, files);
        },
        progress);
}

bool walkFiles(const Folder& root, bool recurse, const std::function<WalkOn(const File&)>& visit,
               WalkProgress progress, const UnlistedFolder& unlisted)
{
    // The sink is stepped per file here, not per folder.
    return walkListings(
        root, recurse,
        [&](const Folder&, std::vector<File>& files) {
            // A tree of empty folders still ends at a cancel.
            if (progress.sink && progress.sink->stopped())
                return WalkOn::Stop;
            for (const File& file : files) {
                if (progress.sink
                    && !progress.sink->step(progress.done ? *progress.done : 0, [&file] { return file.Path(); }))
                    return WalkOn::Stop;
                const WalkOn next = visit(file);
                if (next != WalkOn::Go)
                    return next;
            }
            return WalkOn::Go;
        },
        {}, unlisted);
}

}  // namespace kestrune
