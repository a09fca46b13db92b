// Folder listings (sorted, links sorted out), the folder handles files are
// reached through, and what a File tells about itself.
#include "core/fs/fso.h"

#include "core/fs/fsointernal.h"
#include "core/fs/mimecache.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

namespace {
// Handles are kept only while few are open, so that a caller holding files
// of many folders never runs the process out of descriptors.
constexpr int kMaxFolderHandles = 64;
std::atomic<int> g_folderHandles{0};
}  // namespace

FolderHandle::~FolderHandle()
{
    if (m_owned && m_fd >= 0)
        ::close(m_fd);
}

int FolderHandle::release()
{
    if (!m_owned)
        return ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    m_owned = false;
    return m_fd;
}

FolderData::FolderData(QString folderPath, FolderIdentity seen) : path(std::move(folderPath)), identity(seen) {}

FolderData::FolderData(std::shared_ptr<FolderData> parentFolder, const QString& name, FolderIdentity seen)
    : path(joinPath(parentFolder->path, name)),
      parent(std::move(parentFolder)),
      nativeName(encodeFileName(name)),
      identity(seen)
{
}

FolderData::~FolderData()
{
    if (m_handle >= 0) {
        ::close(m_handle);
        g_folderHandles.fetch_sub(1);
    }
}

int FolderData::openChecked(int* error, bool* replaced)
{
    *replaced = false;
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int fd;
    if (parent) {
        // Always through the parent's handle (one opened for the occasion
        // when none is kept): a path would follow a link anywhere above,
        // and a folder reached without a listing has no identity to check.
        try {
            const FolderHandle at = parent->open();
            fd = ::openat(at.fd(), nativeName.constData(), flags | O_NOFOLLOW);
        } catch (const FsError& e) {
            *error = e.errorNumber();
            *replaced = e.errorNumber() == ESTALE;
            return -1;
        }
    } else {
        fd = ::open(encoded(path).constData(), flags);
    }
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = errno;
        ::close(fd);
        return -1;
    }
    if (identity.known && (st.st_dev != identity.device || st.st_ino != identity.inode)) {
        ::close(fd);
        *error = ESTALE;
        *replaced = true;
        return -1;
    }
    identity = {st.st_dev, st.st_ino, true};
    return fd;
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
    int error = 0;
    bool replaced = false;
    m_handle = openChecked(&error, &replaced);
    if (m_handle < 0)
        g_folderHandles.fetch_sub(1);
    return m_handle;
}

FolderHandle FolderData::open()
{
    const int kept = handle();
    if (kept >= 0)
        return FolderHandle(kept, false);
    int error = 0;
    bool replaced = false;
    const int fd = openChecked(&error, &replaced);
    if (fd < 0) {
        // A link (or a file) where the folder was is never followed.
        if (replaced || error == ELOOP || error == ENOTDIR)
            fail(path, error, QStringLiteral("文件夹已被替换"));
        fail(path, error);
    }
    return FolderHandle(fd, true);
}

FileAt locate(FolderData& folder, const QString& name, int index)
{
    if (index < 0)
        return {FolderHandle(AT_FDCWD, false), encoded(joinPath(folder.path, name))};
    return {folder.open(), encodeFileName(name)};
}

namespace {

// Sorts by name without regard to case, ties by exact name.
template <typename T, typename NameOf>
void sortByName(std::vector<T>& items, NameOf nameOf)
{
    struct Entry {
        QString key;
        size_t index;
    };
    std::vector<Entry> entries;
    entries.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        entries.push_back({nameOf(items[i]).toCaseFolded(), i});
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int c = a.key.compare(b.key);
        if (c != 0)
            return c < 0;
        return nameOf(items[a.index]) < nameOf(items[b.index]);
    });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const Entry& e : entries)
        sorted.push_back(std::move(items[e.index]));
    items = std::move(sorted);
}

struct SubfolderEntry {
    QString name;
    FolderIdentity identity;
};

}  // namespace

void FolderData::list()
{
    if (listed)
        return;
    listed = true;
    DIR* dir = nullptr;
    try {
        FolderHandle h = open();
        const int fd = h.release();
        dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            listError = errno;
            if (fd >= 0)
                ::close(fd);
            return;
        }
    } catch (const FsError& e) {
        listError = e.errorNumber();
        listMessage = e.message();
        return;
    }
    const int dirFd = ::dirfd(dir);
    std::vector<SubfolderEntry> subs;
    while (dirent* entry = ::readdir(dir)) {
        const char* n = entry->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_DIR) {
            struct stat st;
            if (::fstatat(dirFd, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                // What the folder is now: it is entered later only if it
                // still is.
                subs.push_back({decodeFileName(n), {st.st_dev, st.st_ino, true}});
                continue;
            }
            if (S_ISREG(st.st_mode))
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
            files.push_back(decodeFileName(n));
    }
    ::closedir(dir);
    sortByName(files, [](const QString& n) -> const QString& { return n; });
    sortByName(subs, [](const SubfolderEntry& e) -> const QString& { return e.name; });
    subfolders.reserve(subs.size());
    subfolderIdentities.reserve(subs.size());
    for (SubfolderEntry& e : subs) {
        subfolders.push_back(std::move(e.name));
        subfolderIdentities.push_back(e.identity);
    }
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

// The file's (or its link target's) status; a file from a listing is found
// through its folder's handle.
struct stat statListed(FolderData& folder, const QString& name, int index)
{
    const FileAt at = locate(folder, name, index);
    struct stat st;
    if (::fstatat(at.dir(), at.name.constData(), &st, 0) != 0)
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
    if (data.listError != 0) {
        if (!data.listMessage.isEmpty())
            fail(data.path, data.listError, data.listMessage);
        fail(data.path, data.listError);
    }
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
    for (size_t i = 0; i < m_data->subfolders.size(); ++i)
        out.push_back(
            Folder(std::make_shared<FolderData>(m_data, m_data->subfolders[i], m_data->subfolderIdentities[i])));
    return out;
}

bool Folder::IsWithin(const QString& path) const
{
    struct stat st;
    if (!m_data || path.isEmpty() || ::stat(encoded(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    for (const FolderData* f = m_data.get(); f; f = f->parent.get()) {
        if (f->identity.known && f->identity.device == st.st_dev && f->identity.inode == st.st_ino)
            return true;
    }
    return false;
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

}  // namespace kestrune
