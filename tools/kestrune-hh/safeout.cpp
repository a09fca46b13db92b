#include "safeout.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune::hh {

namespace {

std::string describe(int error) { return std::strerror(error); }

// Why openat(O_NOFOLLOW | O_DIRECTORY) refused `name` inside `dirFd`.
std::string whyNotFolder(int dirFd, const std::string& name, int error) {
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return "路径中的 " + name + " 是符号链接, 不跟随";
        if (!S_ISDIR(st.st_mode))
            return "路径中的 " + name + " 不是文件夹";
    }
    return name + ": " + describe(error);
}

bool makeFolders(const std::string& path, std::string& error) {
    std::string sofar;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        sofar = path.substr(0, slash);
        pos = slash + 1;
        if (sofar.empty() || sofar == ".")
            continue;
        if (mkdir(sofar.c_str(), 0777) != 0 && errno != EEXIST) {
            error = sofar + ": " + describe(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

OutputFolder::~OutputFolder() {
    if (m_root >= 0)
        close(m_root);
}

bool OutputFolder::open(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "输出文件夹为空";
        return false;
    }
    // The folders leading to it are the caller's and followed as given; the
    // output folder itself is opened without following a link, so a link
    // planted in its place cannot send the output elsewhere.
    const std::size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (parent != "." && parent != "/" && !makeFolders(parent, error))
        return false;
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        error = parent + ": " + describe(errno);
        return false;
    }
    int fd = -1;
    if (leaf.empty() || leaf == "." || leaf == "..") {
        fd = openat(parentFd, leaf.empty() ? "." : leaf.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        fd = openat(parentFd, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (mkdirat(parentFd, leaf.c_str(), 0777) == 0 || errno == EEXIST)
                fd = openat(parentFd, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
    }
    if (fd < 0) {
        const int why = errno;
        struct stat st {};
        const bool there = !leaf.empty() && fstatat(parentFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (there && S_ISLNK(st.st_mode))
            error = "是符号链接, 不跟随";
        else if (there && !S_ISDIR(st.st_mode))
            error = "不是文件夹";
        else
            error = describe(why);
        close(parentFd);
        return false;
    }
    close(parentFd);
    if (m_root >= 0)
        close(m_root);
    m_root = fd;
    return true;
}

bool OutputFolder::begin(const std::vector<std::string>& components, PendingFile& file,
                         std::string& error) {
    file = PendingFile{};
    if (m_root < 0 || components.empty()) {
        error = "没有可写的位置";
        return false;
    }
    int dir = dup(m_root);
    if (dir < 0) {
        error = describe(errno);
        return false;
    }
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const std::string& name = components[i];
        int next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            if (mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) {
                error = name + ": " + describe(errno);
                close(dir);
                return false;
            }
            next = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            error = whyNotFolder(dir, name, errno);
            close(dir);
            return false;
        }
        close(dir);
        dir = next;
    }

    const std::string& leaf = components.back();
    struct stat st {};
    if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) {
            error = leaf + " 是符号链接, 不经它写入";
            close(dir);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            error = leaf + " 是一个文件夹";
            close(dir);
            return false;
        }
    }

    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = ".kestrune-hh." + std::to_string(getpid()) + "." + std::to_string(m_counter++);
        int fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.parentFd = dir;
            file.fd = fd;
            file.tempName = temp;
            file.leaf = leaf;
            return true;
        }
        if (errno != EEXIST) {
            error = describe(errno);
            break;
        }
        error = "无法取得临时文件名";
    }
    close(dir);
    return false;
}

bool OutputFolder::commit(PendingFile& file, std::string& error) {
    bool ok = true;
    if (close(file.fd) != 0) {
        error = describe(errno);
        ok = false;
    }
    file.fd = -1;
    if (ok && renameat(file.parentFd, file.tempName.c_str(), file.parentFd, file.leaf.c_str()) != 0) {
        error = describe(errno);
        ok = false;
    }
    if (!ok)
        unlinkat(file.parentFd, file.tempName.c_str(), 0);
    close(file.parentFd);
    file.parentFd = -1;
    return ok;
}

void OutputFolder::abort(PendingFile& file) {
    if (file.fd >= 0)
        close(file.fd);
    if (file.parentFd >= 0) {
        unlinkat(file.parentFd, file.tempName.c_str(), 0);
        close(file.parentFd);
    }
    file = PendingFile{};
}

}  // namespace kestrune::hh
