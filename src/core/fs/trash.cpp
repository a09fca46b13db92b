// The trash: where each file system keeps what was deleted, and how a file
// gets there. Everything works on exact bytes through folder handles, so
// names that are not UTF-8 and paths with links in them come back as they
// were.
#include "core/fs/trash.h"

#include "core/fs/fso.h"
#include "core/fs/fsointernal.h"
#include "core/system/platform.h"

#include <QHash>
#include <QSet>

#include <cerrno>
#include <climits>
#include <ctime>
#include <map>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kestrune {

using namespace fsodetail;

namespace {

const QString kOptionsSection = QStringLiteral("Options");
const QString kToTrashKey = QStringLiteral("删除时移到回收站");

constexpr char kInfoSuffix[] = ".trashinfo";
constexpr int kInfoSuffixLength = int(sizeof(kInfoSuffix)) - 1;
// Room left in a name for ".trashinfo" and a number that makes it unique.
constexpr int kLongestBase = NAME_MAX - kInfoSuffixLength - 12;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = o.m_fd;
            o.m_fd = -1;
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

QByteArray homeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const struct passwd* pw = ::getpwuid(::geteuid()))
            home = pw->pw_dir;
    }
    return home;
}

// $XDG_DATA_HOME/Trash; a relative XDG_DATA_HOME counts as unset.
QByteArray homeTrashPath()
{
    QByteArray base = qgetenv("XDG_DATA_HOME");
    if (!base.startsWith('/'))
        base = homeFolder() + "/.local/share";
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base + "/Trash";
}

// Makes `path` and the folders above it that are missing (0700, as the
// user's data folders are). 0 or the errno of the first that cannot be made.
int makeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            return 0;
    }
}

QByteArray parentPath(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The folder's real path (no links in it), from its handle.
QByteArray realFolderPath(int folderFd, const QByteArray& fallback)
{
    char buffer[PATH_MAX + 1];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(folderFd);
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    if (n <= 0 || n >= ssize_t(sizeof buffer) || buffer[0] != '/')
        return fallback;
    return QByteArray(buffer, int(n));
}

// The top of the file system `device` above `folder`: the highest folder of
// its path still on that device.
QByteArray topFolder(const QByteArray& folder, dev_t device)
{
    QByteArray top = folder;
    while (top != "/") {
        const QByteArray parent = parentPath(top);
        struct stat st;
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

// `name` cut to fit a trash entry's name, at a character's start.
QByteArray fittingBase(const QByteArray& name)
{
    if (name.size() <= kLongestBase)
        return name;
    int n = kLongestBase;
    while (n > 0 && (uchar(name[n]) & 0xC0) == 0x80)
        --n;
    return name.left(n);
}

// The `number`th name for `base` in a trash: base, then "a.2.txt", "a.3.txt"...
QByteArray numberedName(const QByteArray& base, int number)
{
    if (number <= 1)
        return base;
    const QByteArray n = "." + QByteArray::number(number);
    const qsizetype dot = base.lastIndexOf('.');
    if (dot <= 0)
        return base + n;
    return base.left(dot) + n + base.mid(dot);
}

QByteArray readAll(int fd)
{
    QByteArray out;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return out;
        out.append(buffer, int(n));
    }
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += w;
    }
    return true;
}

// The trash name a directorysizes line is about ("size mtime name").
QByteArray sizedName(const QByteArray& line)
{
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
    if (second < 0)
        return QByteArray();
    return QByteArray::fromPercentEncoding(line.mid(second + 1));
}

}  // namespace

// One file system's trash, opened.
struct TrashFolder {
    int error = 0;  // no usable trash: why
    Fd dir;
    Fd files;
    Fd info;
    dev_t filesDevice = 0;  // files/ itself: what is in it is in the trash already
    ino_t filesInode = 0;
    QByteArray top;  // the top folder of a file system's own trash; empty for the home trash
    QSet<QByteArray> sized;  // the names the trash's directorysizes cache has lines for
    QHash<QByteArray, int> nextNumber;  // per name, the first number not tried yet
};

struct TrashCan::Impl {
    std::map<dev_t, TrashFolder> folders;
    bool homeLooked = false;
    QByteArray homeTrash;
    dev_t homeDevice = 0;
    int homeError = 0;
    time_t stampSecond = -1;
    QByteArray stamp;

    void lookAtHome();
    TrashFolder& folderFor(dev_t device, const QByteArray& folderPath);
    void open(TrashFolder& trash, Fd dir, dev_t device);
    void openOwnTrash(TrashFolder& trash, dev_t device, const QByteArray& folderPath);
    const QByteArray& deletionDate();
    void dropSizedLine(TrashFolder& trash, const QByteArray& name);
};

namespace {

// Why a folder of the trash could not be opened (without following links):
// a link put in its place is refused as a link, which opening it as a
// folder reports only as no folder.
int folderOpenError(int dir, const char* name, int error)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return ELOOP;
    return error;
}

}  // namespace

void TrashCan::Impl::lookAtHome()
{
    homeLooked = true;
    homeTrash = homeTrashPath();
    homeError = makeFolders(homeTrash);
    struct stat st;
    if (homeError == 0 && ::stat(homeTrash.constData(), &st) != 0)
        homeError = errno;
    if (homeError == 0) {
        homeDevice = st.st_dev;
        return;
    }
    // No home trash can be made: the home's file system is that of the
    // nearest folder above it that is there.
    for (QByteArray p = parentPath(homeTrash);; p = parentPath(p)) {
        if (::stat(p.constData(), &st) == 0) {
            homeDevice = st.st_dev;
            return;
        }
        if (p == "/")
            return;
    }
}

void TrashCan::Impl::open(TrashFolder& trash, Fd dir, dev_t device)
{
    struct stat st;
    if (::fstat(dir.get(), &st) != 0) {
        trash.error = errno;
        return;
    }
    if (st.st_dev != device) {
        trash.error = EXDEV;
        return;
    }
    for (const char* sub : {"files", "info"}) {
        if (::mkdirat(dir.get(), sub, 0700) != 0 && errno != EEXIST) {
            trash.error = errno;
            return;
        }
        Fd fd(::openat(dir.get(), sub, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid()) {
            trash.error = folderOpenError(dir.get(), sub, errno);
            return;
        }
        if (::fstat(fd.get(), &st) != 0 || st.st_dev != device) {
            trash.error = EXDEV;
            return;
        }
        if (sub[0] == 'f') {
            trash.filesDevice = st.st_dev;
            trash.filesInode = st.st_ino;
        }
        (sub[0] == 'f' ? trash.files : trash.info) = std::move(fd);
    }
    const Fd sizes(::openat(dir.get(), "directorysizes", O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (sizes.valid()) {
        for (const QByteArray& line : readAll(sizes.get()).split('\n')) {
            const QByteArray name = sizedName(line);
            if (!name.isEmpty())
                trash.sized.insert(name);
        }
    }
    trash.dir = std::move(dir);
}

void TrashCan::Impl::openOwnTrash(TrashFolder& trash, dev_t device, const QByteArray& folderPath)
{
    trash.top = topFolder(folderPath, device);
    const Fd top(::open(trash.top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top.valid()) {
        trash.error = errno;
        return;
    }
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    // A shared $top/.Trash made by the administrator: a real folder (no
    // link) with the sticky bit; each user has a folder of their own in it.
    struct stat st;
    if (::fstatat(top.get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX) != 0) {
        const Fd shared(::openat(top.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (shared.valid()) {
            (void)::mkdirat(shared.get(), uid.constData(), 0700);
            Fd own(::openat(shared.get(), uid.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (own.valid() && ::fstat(own.get(), &st) == 0 && st.st_uid == ::geteuid()) {
                open(trash, std::move(own), device);
                if (trash.error == 0)
                    return;
                trash.error = 0;
            }
        }
    }
    // Else $top/.Trash-$uid, made if missing; one that is a link or not the
    // user's own is not used.
    const QByteArray ownName = ".Trash-" + uid;
    if (::mkdirat(top.get(), ownName.constData(), 0700) != 0 && errno != EEXIST) {
        trash.error = errno;
        return;
    }
    Fd own(::openat(top.get(), ownName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!own.valid()) {
        trash.error = folderOpenError(top.get(), ownName.constData(), errno);
        return;
    }
    if (::fstat(own.get(), &st) != 0 || st.st_uid != ::geteuid()) {
        trash.error = EACCES;
        return;
    }
    open(trash, std::move(own), device);
}

TrashFolder& TrashCan::Impl::folderFor(dev_t device, const QByteArray& folderPath)
{
    const auto found = folders.find(device);
    if (found != folders.end())
        return found->second;
    TrashFolder& trash = folders[device];
    if (!homeLooked)
        lookAtHome();
    if (device == homeDevice) {
        // The home's file system has the home trash and no other.
        if (homeError != 0) {
            trash.error = homeError;
            return trash;
        }
        Fd dir(::open(homeTrash.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.valid()) {
            trash.error = errno;
            return trash;
        }
        open(trash, std::move(dir), device);
        return trash;
    }
    openOwnTrash(trash, device, folderPath);
    return trash;
}

const QByteArray& TrashCan::Impl::deletionDate()
{
    const time_t now = ::time(nullptr);
    if (now != stampSecond) {
        stampSecond = now;
        struct tm local;
        char text[32];
        ::localtime_r(&now, &local);
        const size_t n = ::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        stamp = QByteArray(text, int(n));
    }
    return stamp;
}

// A trashed directory's size is cached by its name: a line left over for a
// name that a file now takes would be wrong, so it goes.
void TrashCan::Impl::dropSizedLine(TrashFolder& trash, const QByteArray& name)
{
    trash.sized.remove(name);
    const Fd in(::openat(trash.dir.get(), "directorysizes", O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid())
        return;
    QByteArray kept;
    const QByteArray all = readAll(in.get());
    for (const QByteArray& line : all.split('\n')) {
        if (line.isEmpty() || sizedName(line) == name)
            continue;
        kept += line + '\n';
    }
    const QByteArray temporary = "directorysizes.kestrune-" + QByteArray::number(qlonglong(::getpid()));
    const Fd out(
        ::openat(trash.dir.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return;
    if (!writeAll(out.get(), kept) || ::renameat(trash.dir.get(), temporary.constData(), trash.dir.get(),
                                                  "directorysizes") != 0)
        ::unlinkat(trash.dir.get(), temporary.constData(), 0);
}

TrashCan::TrashCan() : d(std::make_unique<Impl>()) {}
TrashCan::~TrashCan() = default;

void TrashCan::put(int folderFd, const QByteArray& name, const QString& shownPath)
{
    auto refuse = [&](int e) {
        fail(shownPath, e, QStringLiteral("无法移到回收站：%1").arg(describeError(e)));
    };
    struct stat st;
    if (::fstatat(folderFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(shownPath, errno);
    // Only files are put in the trash: a folder would need its size cached.
    if (S_ISDIR(st.st_mode))
        fail(shownPath, EISDIR);
    const QByteArray folder = realFolderPath(folderFd, parentPath(encodeFileName(shownPath)));
    TrashFolder& trash = d->folderFor(st.st_dev, folder);
    if (trash.error != 0)
        refuse(trash.error);
    // A file in the trash already (a walk through a stick's .Trash-1000)
    // stays as it is: moving it again would part it from its .trashinfo.
    struct stat in;
    if (::fstat(folderFd, &in) == 0 && in.st_dev == trash.filesDevice && in.st_ino == trash.filesInode)
        fail(shownPath, EINVAL, QStringLiteral("文件已在回收站中"));

    // The original path: absolute in the home trash, from the top folder in
    // a file system's own trash.
    QByteArray original = folder == "/" ? "/" + name : folder + "/" + name;
    if (!trash.top.isEmpty()) {
        const QByteArray prefix = trash.top == "/" ? QByteArray("/") : trash.top + "/";
        if (original.startsWith(prefix))
            original = original.mid(prefix.size());
    }
    const QByteArray info = "[Trash Info]\nPath=" + original.toPercentEncoding("/") +
                            "\nDeletionDate=" + d->deletionDate() + "\n";

    const QByteArray base = fittingBase(name);
    int number = trash.nextNumber.value(base, 1);
    for (;; ++number) {
        const QByteArray entry = numberedName(base, number);
        const QByteArray infoName = entry + kInfoSuffix;
        // The .trashinfo claims the name, before the file moves.
        const Fd out(::openat(trash.info.get(), infoName.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.valid()) {
            if (errno == EEXIST)
                continue;
            refuse(errno);
        }
        if (!writeAll(out.get(), info)) {
            const int e = errno ? errno : EIO;
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            refuse(e);
        }
        const int e = putInPlace(folderFd, name.constData(), trash.files.get(), entry.constData());
        if (e == EEXIST) {
            // A file without its .trashinfo holds the name: try the next one.
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            continue;
        }
        if (e != 0) {
            ::unlinkat(trash.info.get(), infoName.constData(), 0);
            refuse(e);
        }
        trash.nextNumber.insert(base, number + 1);
        if (trash.sized.contains(entry))
            d->dropSizedLine(trash, entry);
        return;
    }
}

bool deleteToTrashSetting()
{
    const QString value =
        platform().getSetting(settingsAppName(), kOptionsSection, kToTrashKey, QStringLiteral("1"));
    // Only a plain 0 turns it off: anything else keeps deleted files recoverable.
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    return !(ok && number == 0.0);
}

void saveDeleteToTrashSetting(bool toTrash)
{
    platform().saveSetting(settingsAppName(), kOptionsSection, kToTrashKey,
                           toTrash ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace kestrune
