#include "support/sametree.h"

#include "core/fs/fsnames.h"
#include "core/same/samefinder.h"
#include "support/rawnames.h"

#include <QDir>

#include <map>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrune::test {

namespace {

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7 + i / 251);
    return bytes;
}

void walk(const QByteArray& folder, std::vector<std::pair<QByteArray, struct stat>>& out)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            walk(path, out);
        else if (S_ISREG(st.st_mode))
            out.emplace_back(path, st);
    }
    ::closedir(dir);
}

// Runs `cmp -s` on the two paths' exact bytes.
bool cmpSays(const QByteArray& a, const QByteArray& b)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("cmp", "cmp", "-s", a.constData(), b.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Each inode's name: the least of the paths it has under the tree.
std::map<std::pair<dev_t, ino_t>, QByteArray> inodeNames(
    const std::vector<std::pair<QByteArray, struct stat>>& files)
{
    std::map<std::pair<dev_t, ino_t>, QByteArray> inodes;
    for (const auto& [path, st] : files) {
        auto& name = inodes[{st.st_dev, st.st_ino}];
        if (name.isEmpty() || path < name)
            name = path;
    }
    return inodes;
}

}  // namespace

void makeTrapTree(const QString& root, const QString& outside)
{
    const QByteArray gbk("\xC4\xE3\xBA\xC3");  // 你好 in GBK: not UTF-8
    for (const char* sub : {"a", "b", "b/deep", "c"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    const QString rawFolder = decodeFileName(encodeFileName(root) + "/c/" + gbk);
    QDir().mkpath(rawFolder);

    const QByteArray small = pattern(1000, 1);
    const QByteArray large = pattern(300 * 1024, 2);
    QByteArray lastByte = large;
    lastByte[lastByte.size() - 1] = char(lastByte.back() ^ 1);
    QByteArray sameSize = small;
    sameSize[500] = char(sameSize[500] ^ 0x55);

    writeRaw(root + QStringLiteral("/a"), "small.txt", small);
    writeRaw(root + QStringLiteral("/b/deep"), "small copy.txt", small);
    writeRaw(rawFolder, gbk + ".txt", small);
    writeRaw(root + QStringLiteral("/b"), "same-size.txt", sameSize);
    writeRaw(root + QStringLiteral("/a"), "large.bin", large);
    writeRaw(root + QStringLiteral("/c"), "bad\xFF.bin", large);
    writeRaw(root + QStringLiteral("/b"), "last-byte.bin", lastByte);
    writeRaw(root + QStringLiteral("/a"), "empty1", QByteArray());
    writeRaw(root + QStringLiteral("/b"), "empty2", QByteArray());
    // Exactly one first block, and one that differs only past it.
    const QByteArray block = pattern(64 * 1024, 3);
    writeRaw(root + QStringLiteral("/a"), "block", block);
    writeRaw(root + QStringLiteral("/b"), "block", block);
    writeRaw(root + QStringLiteral("/c"), "block+1", block + "x");
    writeRaw(root + QStringLiteral("/a"), "block+1", block + "y");

    // A hard link pair with no other copy, and one with a copy.
    const QByteArray r = encodeFileName(root);
    writeRaw(root + QStringLiteral("/a"), "linked", pattern(5000, 4));
    (void)!::link(r + "/a/linked", r + "/b/linked-too");
    writeRaw(root + QStringLiteral("/a"), "linked-copied", pattern(7000, 5));
    (void)!::link(r + "/a/linked-copied", r + "/b/linked-copied-2");
    writeRaw(root + QStringLiteral("/c"), "the copy", pattern(7000, 5));

    // Links to files are never followed: one to a copy out of the tree and
    // one to a file of the tree.
    writeRaw(outside, "outside.txt", small);
    (void)!::symlink((encodeFileName(outside) + "/outside.txt").constData(), r + "/a/to-outside");
    (void)!::symlink((r + "/a/large.bin").constData(), r + "/b/to-large");
}

PathGroups groupsByCmp(const QString& root)
{
    std::vector<std::pair<QByteArray, struct stat>> files;
    walk(encodeFileName(root), files);
    auto inodes = inodeNames(files);
    std::map<off_t, std::vector<QByteArray>> bySize;
    for (const auto& [path, st] : files)
        if (st.st_size > 0 && inodes[{st.st_dev, st.st_ino}] == path)
            bySize[st.st_size].push_back(path);
    PathGroups groups;
    for (auto& [size, paths] : bySize) {
        std::vector<bool> placed(paths.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            if (placed[i])
                continue;
            std::set<QByteArray> group{paths[i]};
            for (size_t j = i + 1; j < paths.size(); ++j) {
                if (placed[j])
                    continue;
                if (cmpSays(paths[i], paths[j])) {
                    group.insert(paths[j]);
                    placed[j] = true;
                }
            }
            if (group.size() > 1)
                groups.insert(group);
        }
    }
    return groups;
}

}  // namespace kestrune::test

namespace kestrune::test {

PathGroups byInodeName(const PathGroups& groups, const QString& root)
{
    std::vector<std::pair<QByteArray, struct stat>> files;
    walk(encodeFileName(root), files);
    const auto inodes = inodeNames(files);
    PathGroups out;
    for (const auto& group : groups) {
        std::set<QByteArray> named;
        for (const QByteArray& path : group) {
            struct stat st;
            named.insert(::lstat(path.constData(), &st) == 0 && inodes.count({st.st_dev, st.st_ino})
                             ? inodes.at({st.st_dev, st.st_ino})
                             : "(missing) " + path);
        }
        out.insert(named);
    }
    return out;
}

PathGroups pathGroups(const std::vector<SameGroup>& groups)
{
    PathGroups out;
    for (const SameGroup& g : groups) {
        std::set<QByteArray> paths;
        for (const SameFile& f : g.files)
            paths.insert(encodeFileName(f.path));
        out.insert(paths);
    }
    return out;
}

}  // namespace kestrune::test
