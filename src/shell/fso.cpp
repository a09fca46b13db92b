#include "shell/fso.h"

#include "shell/mimecache.h"
#include "shell/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

// ---------------------------------------------------------------------------
// Errors

FsError::FsError(const QString& path, int errorNumber, const QString& message)
    : std::runtime_error((path + QStringLiteral(": ") + message).toStdString()),
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
    case EROFS: return QStringLiteral("文件系统只读");
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EBUSY: return QStringLiteral("文件正在使用");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EINVAL: return QStringLiteral("无效的参数");
    default: return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

namespace {

[[noreturn]] void fail(const QString& path, int errorNumber)
{
    throw FsError(path, errorNumber, describeError(errorNumber));
}

[[noreturn]] void fail(const QString& path, int errorNumber, const QString& message)
{
    throw FsError(path, errorNumber, message);
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QDir::separator();
}

bool isReadOnlyMode(mode_t mode)
{
    return (mode & S_IWUSR) == 0;
}

}  // namespace

QString normalizeFolderPath(const QString& path)
{
    if (path.isEmpty())
        return path;
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    if (QDir::isRelativePath(clean))
        clean = QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + clean);
    return QDir::toNativeSeparators(clean);
}

QString joinPath(const QString& folder, const QString& name)
{
    if (!folder.isEmpty() && isSeparator(folder.back()))
        return folder + name;
    return folder + QDir::separator() + name;
}

// ---------------------------------------------------------------------------
// Folder listings

struct FolderData {
    explicit FolderData(QString folderPath) : path(std::move(folderPath)) {}
    ~FolderData();
    FolderData(const FolderData&) = delete;
    FolderData& operator=(const FolderData&) = delete;

    QString path;
    bool listed = false;
    int listError = 0;
    std::vector<QString> files;
    std::vector<QString> subfolders;
    bool aliasesDone = false;
    std::vector<QString> aliases;  // parallel to files

    void list();
    const std::vector<QString>& shortNames();
    // A handle on the folder for working on its listed files by name rather
    // than by full path: one path lookup per folder instead of one per file.
    // -1 when the folder cannot be opened or too many handles are held; the
    // caller then goes by path.
    int handle();

private:
    int m_handle = -1;
    bool m_handleTried = false;
};

namespace {
// Handles are kept only while few are open, so that a caller holding files
// of many folders never runs the process out of descriptors.
constexpr int kMaxFolderHandles = 64;
std::atomic<int> g_folderHandles{0};
}  // namespace

FolderData::~FolderData()
{
    if (m_handle >= 0) {
        ::close(m_handle);
        g_folderHandles.fetch_sub(1);
    }
}

int FolderData::handle()
{
    if (m_handle >= 0 || m_handleTried)
        return m_handle;
    if (g_folderHandles.fetch_add(1) >= kMaxFolderHandles) {
        g_folderHandles.fetch_sub(1);
        return -1;  // try again later, when others have been let go
    }
    m_handleTried = true;
    m_handle = ::open(encoded(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_handle < 0)
        g_folderHandles.fetch_sub(1);
    return m_handle;
}

namespace {

struct SortEntry {
    QString key;
    QString name;
};

void sortNames(std::vector<QString>& names)
{
    std::vector<SortEntry> entries;
    entries.reserve(names.size());
    for (QString& n : names)
        entries.push_back({n.toCaseFolded(), std::move(n)});
    std::sort(entries.begin(), entries.end(), [](const SortEntry& a, const SortEntry& b) {
        const int c = a.key.compare(b.key);
        if (c != 0)
            return c < 0;
        return a.name < b.name;
    });
    for (size_t i = 0; i < entries.size(); ++i)
        names[i] = std::move(entries[i].name);
}

}  // namespace

void FolderData::list()
{
    if (listed)
        return;
    listed = true;
    const QByteArray native = encoded(path);
    DIR* dir = ::opendir(native.constData());
    if (!dir) {
        listError = errno;
        return;
    }
    const int dirFd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const char* n = entry->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(dirFd, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                type = DT_DIR;
            else if (S_ISREG(st.st_mode))
                type = DT_REG;
            else if (S_ISLNK(st.st_mode))
                type = DT_LNK;
            else
                continue;
        }
        if (type == DT_LNK) {
            // A link to a file is a file; a link to a folder is left out, so
            // that no walk can loop.
            struct stat st;
            if (::fstatat(dirFd, n, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
            type = DT_REG;
        }
        if (type == DT_REG)
            files.push_back(QFile::decodeName(n));
        else if (type == DT_DIR)
            subfolders.push_back(QFile::decodeName(n));
    }
    ::closedir(dir);
    sortNames(files);
    sortNames(subfolders);
}

const std::vector<QString>& FolderData::shortNames()
{
    if (!aliasesDone) {
        list();
        aliases = shortNamesFor(files);
        aliasesDone = true;
    }
    return aliases;
}

// ---------------------------------------------------------------------------
// Short names

namespace {

bool isShortNameChar(QChar c)
{
    const ushort u = c.unicode();
    if (u >= 0x80)
        return false;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return std::strchr("!#$%&'()-@^_`{}~", char(u)) != nullptr && u != 0;
}

// The characters of `part` that an alias may hold, upper-cased; characters
// outside the 8.3 set become '_' except blanks and dots, which are dropped.
QString aliasChars(const QString& part)
{
    QString out;
    for (QChar c : part) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('.'))
            continue;
        if (isShortNameChar(c))
            out += c.toUpper();
        else if (c.unicode() < 0x80)
            out += QLatin1Char('_');
        else if (!c.isLowSurrogate())
            out += QLatin1Char('_');
    }
    return out;
}

}  // namespace

bool isValidShortName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    const int dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || ext.size() > 3)
        return false;
    if (dot >= 0 && ext.isEmpty())
        return false;
    for (QChar c : base)
        if (!isShortNameChar(c))
            return false;
    for (QChar c : ext)
        if (!isShortNameChar(c))
            return false;
    return true;
}

namespace {

// The parts an alias is built from: the base's and the extension's alias
// characters (the extension cut to three). Leading dots do not start an
// extension.
void aliasParts(const QString& name, QString* base, QString* ext)
{
    int start = 0;
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    const QString stem = name.mid(start);
    const int lastDot = stem.lastIndexOf(QLatin1Char('.'));
    if (base)
        *base = aliasChars(lastDot < 0 ? stem : stem.left(lastDot));
    *ext = aliasChars(lastDot < 0 ? QString() : stem.mid(lastDot + 1)).left(3);
}

}  // namespace

std::optional<QString> shortNameEnding(const QString& name, int count)
{
    if (isValidShortName(name))
        return name.right(count);
    // An alias ends in "." and its extension; its ending is known without
    // the other names of the folder when the extension covers it.
    QString ext;
    aliasParts(name, nullptr, &ext);
    if (count <= ext.size())
        return ext.right(count);
    return std::nullopt;
}

std::vector<QString> shortNamesFor(const std::vector<QString>& names)
{
    std::vector<QString> result(names.size());
    QSet<QString> used;
    QHash<QString, qint64> nextTail;
    for (size_t i = 0; i < names.size(); ++i) {
        if (isValidShortName(names[i])) {
            result[i] = names[i];
            used.insert(names[i].toUpper());
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (!result[i].isEmpty())
            continue;
        QString base;
        QString ext;
        aliasParts(names[i], &base, &ext);
        // The candidates are tried with the tails ~1, ~2, ... in turn. All
        // tails of one digit count share one prefix length, so a candidate
        // depends only on that prefix, the extension and the tail; one found
        // taken stays taken. Each such group resumes where the last search in
        // it stopped: a folder of many similar names is not searched from ~1
        // every time, and every name still gets the first free candidate.
        QString alias;
        for (int digits = 1, first = 1;; ++digits, first *= 10) {
            const qint64 last = qint64(first) * 10 - 1;
            QString prefix = base.left(std::max(0, std::min(6, 8 - (digits + 1))));
            if (prefix.isEmpty())
                prefix = QStringLiteral("_");
            const QString key = prefix + QChar(0) + ext + QChar(0) + QString::number(digits);
            qint64 n = std::max<qint64>(first, nextTail.value(key, first));
            for (; n <= last; ++n) {
                alias = prefix + QLatin1Char('~') + QString::number(n);
                if (!ext.isEmpty())
                    alias += QLatin1Char('.') + ext;
                if (!used.contains(alias))
                    break;
            }
            nextTail.insert(key, n + 1);
            if (n <= last)
                break;
        }
        used.insert(alias);
        result[i] = alias;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Files

QString File::Path() const
{
    return joinPath(m_parent->path, m_name);
}

QString File::ShortName() const
{
    const auto& aliases = m_parent->shortNames();
    const auto& files = m_parent->files;
    if (m_index >= 0 && size_t(m_index) < files.size() && files[size_t(m_index)] == m_name)
        return aliases[size_t(m_index)];
    auto it = std::find(files.begin(), files.end(), m_name);
    if (it == files.end())
        fail(Path(), ENOENT);
    return aliases[size_t(it - files.begin())];
}

QString File::ShortNameEnding(int count) const
{
    if (count >= 0) {
        if (std::optional<QString> ending = shortNameEnding(m_name, count))
            return *ending;
    }
    return ShortName().right(count);
}

QString File::Type() const
{
    return mimeNameCache().comment(m_name);
}

namespace {

struct stat statOrFail(const QString& path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        fail(path, errno);
    return st;
}

// Copies `source` into a new temporary file in `folder`; returns its path.
// Keeps the source's permission bits and modification time. Leaves nothing
// behind on failure.
QByteArray copyToTemporary(const QString& sourcePath, const struct stat& sourceStat, const QString& folder)
{
    const int in = ::open(encoded(sourcePath).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        fail(sourcePath, errno);
    QByteArray tmpl = encoded(joinPath(folder, QStringLiteral(".kestrune-XXXXXX")));
    const int out = ::mkstemp(tmpl.data());
    if (out < 0) {
        const int e = errno;
        ::close(in);
        fail(folder, e);
    }
    auto cleanup = [&](int e, const QString& where) {
        ::close(in);
        ::close(out);
        ::unlink(tmpl.constData());
        fail(where, e);
    };
    static constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // Fall back to plain reads and writes.
            buffer.resize(kChunk);
            n = ::read(in, buffer.data(), buffer.size());
            if (n < 0)
                cleanup(errno, sourcePath);
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
                if (w < 0)
                    cleanup(errno, folder);
                done += w;
            }
        } else if (n < 0) {
            cleanup(errno, sourcePath);
        }
        if (n == 0)
            break;
    }
    ::fchmod(out, sourceStat.st_mode & 07777);
    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out, times);
    if (::close(out) != 0) {
        const int e = errno;
        ::close(in);
        ::unlink(tmpl.constData());
        fail(folder, e);
    }
    ::close(in);
    return tmpl;
}

// Puts `from` at `to` unless something is there already; atomic.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot rename without replacing: a hard link fails on
    // an existing name just as atomically.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

QString destinationPath(const QString& destination, const QString& name)
{
    if (!destination.isEmpty() && isSeparator(destination.back()))
        return destination + name;
    return destination;
}

QString parentOf(const QString& path)
{
    QString parent = QFileInfo(path).absolutePath();
    return QDir::toNativeSeparators(parent);
}

}  // namespace

namespace {

// The file's (or its link target's) status; a file from a listing is found
// through its folder's handle.
struct stat statListed(FolderData& folder, const QString& name, int index)
{
    const int at = index >= 0 ? folder.handle() : -1;
    if (at < 0)
        return statOrFail(joinPath(folder.path, name));
    struct stat st;
    if (::fstatat(at, QFile::encodeName(name).constData(), &st, 0) != 0)
        fail(joinPath(folder.path, name), errno);
    return st;
}

}  // namespace

qint64 File::Size() const
{
    return qint64(statListed(*m_parent, m_name, m_index).st_size);
}

qint64 File::ModifiedMSecs() const
{
    return SizeAndModified().modifiedMSecs;
}

File::Status File::SizeAndModified() const
{
    const struct stat st = statListed(*m_parent, m_name, m_index);
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000};
}

QDateTime File::DateLastModified() const
{
    return QDateTime::fromMSecsSinceEpoch(ModifiedMSecs(), Qt::LocalTime);
}

Folder File::ParentFolder() const
{
    return Folder(std::make_shared<FolderData>(m_parent->path));
}

void File::Copy(const QString& destination, bool overwrite) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const struct stat sourceStat = statOrFail(source);
    struct stat targetStat;
    const QByteArray targetNative = encoded(target);
    const bool targetExists = ::stat(targetNative.constData(), &targetStat) == 0;
    if (targetExists) {
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            fail(target, EINVAL, QStringLiteral("不能将文件复制到它自身"));
        if (S_ISDIR(targetStat.st_mode))
            fail(target, EISDIR);
        if (!overwrite)
            fail(target, EEXIST);
        if (isReadOnlyMode(targetStat.st_mode))
            fail(target, EACCES, QStringLiteral("目标文件只读"));
    }
    const QByteArray tmp = copyToTemporary(source, sourceStat, parentOf(target));
    int e = 0;
    if (overwrite) {
        if (::rename(tmp.constData(), targetNative.constData()) != 0)
            e = errno;
    } else {
        e = renameNoReplace(tmp, targetNative);
    }
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
}

void File::Move(const QString& destination) const
{
    const QString source = Path();
    const QString target = destinationPath(destination, m_name);
    if (target.isEmpty())
        fail(target, ENOENT);
    const QByteArray sourceNative = encoded(source);
    const QByteArray targetNative = encoded(target);
    int e = renameNoReplace(sourceNative, targetNative);
    if (e == 0)
        return;
    if (e != EXDEV)
        fail(target, e);
    // Across file systems: copy beside the destination, put it in place
    // without replacing, and only then remove the source.
    const struct stat sourceStat = statOrFail(source);
    const QByteArray tmp = copyToTemporary(source, sourceStat, parentOf(target));
    e = renameNoReplace(tmp, targetNative);
    if (e != 0) {
        ::unlink(tmp.constData());
        fail(target, e);
    }
    if (::unlink(sourceNative.constData()) != 0) {
        // The source cannot go: take the copy back so that the file is not
        // left twice and the caller learns the move failed.
        e = errno;
        ::unlink(targetNative.constData());
        fail(source, e);
    }
}

void File::Delete(bool force) const
{
    // A file from a listing is reached through its folder's handle; the
    // folder's path is then looked up once, not once per file.
    const int folder = m_index >= 0 ? m_parent->handle() : -1;
    const QByteArray native = folder >= 0 ? QFile::encodeName(m_name) : encoded(Path());
    const int at = folder >= 0 ? folder : AT_FDCWD;
    struct stat st;
    if (::fstatat(at, native.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(Path(), errno);
    if (!force && !S_ISLNK(st.st_mode) && isReadOnlyMode(st.st_mode))
        fail(Path(), EACCES, QStringLiteral("文件只读"));
    if (::unlinkat(at, native.constData(), 0) != 0)
        fail(Path(), errno);
}

// ---------------------------------------------------------------------------
// Folders

QString Folder::Path() const
{
    return m_data ? m_data->path : QString();
}

QString Folder::Name() const
{
    if (!m_data)
        return QString();
    const QString p = QDir::fromNativeSeparators(m_data->path);
    if (p == QLatin1String("/"))
        return QString();
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {
void requireListing(FolderData& data)
{
    data.list();
    if (data.listError != 0)
        fail(data.path, data.listError);
}
}  // namespace

std::vector<File> Folder::Files() const
{
    requireListing(*m_data);
    std::vector<File> out;
    out.reserve(m_data->files.size());
    for (size_t i = 0; i < m_data->files.size(); ++i)
        out.push_back(File(m_data, m_data->files[i], int(i)));
    return out;
}

std::vector<Folder> Folder::SubFolders() const
{
    requireListing(*m_data);
    std::vector<Folder> out;
    out.reserve(m_data->subfolders.size());
    for (const QString& name : m_data->subfolders)
        out.push_back(Folder(std::make_shared<FolderData>(joinPath(m_data->path, name))));
    return out;
}

int Folder::FileCount() const
{
    requireListing(*m_data);
    return int(m_data->files.size());
}

int Folder::SubFolderCount() const
{
    requireListing(*m_data);
    return int(m_data->subfolders.size());
}

// ---------------------------------------------------------------------------
// Text files

struct TextStream::Impl {
    QSaveFile file;
    QByteArray buffer;
    bool closed = false;
};

TextStream::TextStream(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
TextStream::TextStream(TextStream&&) noexcept = default;
TextStream& TextStream::operator=(TextStream&&) noexcept = default;

TextStream::~TextStream()
{
    if (m_impl && !m_impl->closed) {
        try {
            Close();
        } catch (const FsError&) {
        }
    }
}

void TextStream::Write(const QString& text)
{
    m_impl->buffer += toGb18030(text);
}

void TextStream::WriteLine(const QString& line)
{
    m_impl->buffer += toGb18030(line);
    m_impl->buffer += "\r\n";
}

void TextStream::Close()
{
    if (m_impl->closed)
        return;
    m_impl->closed = true;
    QSaveFile& f = m_impl->file;
    if (f.write(m_impl->buffer) != m_impl->buffer.size() || !f.commit()) {
        const QString name = f.fileName();
        const QString why = f.errorString();
        f.cancelWriting();
        fail(name, EIO, why);
    }
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
    return Folder(std::make_shared<FolderData>(clean));
}

File FileSystemObject::GetFile(const QString& path) const
{
    if (path.isEmpty())
        fail(path, ENOENT);
    const QString absolute = QDir::toNativeSeparators(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
    const struct stat st = statOrFail(absolute);
    if (!S_ISREG(st.st_mode))
        fail(absolute, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    const QFileInfo info(absolute);
    return File(std::make_shared<FolderData>(QDir::toNativeSeparators(info.absolutePath())),
                info.fileName());
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

TextStream FileSystemObject::CreateTextFile(const QString& path, bool overwrite) const
{
    if (!overwrite && QFileInfo::exists(path))
        fail(path, EEXIST);
    auto impl = std::make_unique<TextStream::Impl>();
    impl->file.setFileName(path);
    if (!impl->file.open(QIODevice::WriteOnly))
        fail(path, EACCES, impl->file.errorString());
    return TextStream(std::move(impl));
}

// ---------------------------------------------------------------------------
// The walk

void walkFolders(const Folder& root, bool recurse, const std::function<bool(const Folder&)>& visit)
{
    std::vector<Folder> stack{root};
    while (!stack.empty()) {
        Folder folder = std::move(stack.back());
        stack.pop_back();
        if (!visit(folder) || !recurse)
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
}

void walkFiles(const Folder& root, bool recurse, const std::function<void(const File&)>& visit)
{
    walkFolders(root, recurse, [&](const Folder& folder) {
        std::vector<File> files;
        try {
            files = folder.Files();
        } catch (const FsError&) {
            return true;
        }
        for (const File& f : files)
            visit(f);
        return true;
    });
}

}  // namespace kestrune
