// Folder listings (sorted, links sorted out), the folder handles files are
// reached through, and what a File tells about itself.
#include "shell/fso.h"

#include "shell/fsointernal.h"
#include "shell/mimecache.h"

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

}  // namespace kestrune
