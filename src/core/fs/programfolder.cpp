#include "core/fs/programfolder.h"

#include "core/fs/fsnames.h"
#include "core/fs/fso.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
}

std::function<bool(const QString&)>& writableCheck()
{
    static std::function<bool(const QString&)> check;
    return check;
}
}  // namespace

QString programFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void setProgramFolder(const QString& folder)
{
    overrideFolder() = folder;
}

QString programFile(const QString& name)
{
    return joinPath(programFolder(), name);
}

bool folderWritable(const QString& folder)
{
    if (writableCheck())
        return writableCheck()(folder);
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

void setFolderWritableCheck(std::function<bool(const QString&)> check)
{
    writableCheck() = std::move(check);
}

namespace {

// Whether the group is this user's own (named as the user, the user's primary
// group and with no other member), as a system that gives each user a group
// of their own makes it.
bool groupIsOnlyMine(gid_t group)
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> userBuffer(size_t(size > 0 ? size : 16384));
    struct passwd user;
    struct passwd* me = nullptr;
    if (::getpwuid_r(::geteuid(), &user, userBuffer.data(), userBuffer.size(), &me) != 0 || !me ||
        me->pw_gid != group)
        return false;
    size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> groupBuffer(size_t(size > 0 ? size : 16384));
    struct group entry;
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, groupBuffer.data(), groupBuffer.size(), &found) != 0 || !found ||
        std::strcmp(found->gr_name, me->pw_name) != 0)
        return false;
    for (char** member = found->gr_mem; member && *member; ++member) {
        if (std::strcmp(*member, me->pw_name) != 0)
            return false;
    }
    return true;
}

}  // namespace

bool folderOnlyMine(const QString& folder)
{
    struct stat st;
    if (::stat(encodeFileName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // Its owner may always write it; the group's bits stand for every user and
    // group an access list names as well.
    if (st.st_uid != ::geteuid() || (st.st_mode & S_IWOTH))
        return false;
    return !(st.st_mode & S_IWGRP) || groupIsOnlyMine(st.st_gid);
}

QString userDataFolder()
{
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory
    // rules say.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return joinPath(QDir::cleanPath(base), QString::fromLatin1(kAppTitle));
}

QString dataFolder()
{
    const QString program = programFolder();
    // Another user who may write the program's folder could put links there
    // in place of the files, and the program would write through them.
    // A test's own check stands for both.
    const bool onlyMine = writableCheck() ? folderWritable(program) : folderWritable(program) && folderOnlyMine(program);
    return onlyMine ? program : userDataFolder();
}

QString dataFile(const QString& name)
{
    const QString folder = dataFolder();
    if (folder != programFolder())
        QDir().mkpath(folder);  // a failure shows when the file is written
    return joinPath(folder, name);
}

QString dataFileToRead(const QString& name)
{
    const QString own = dataFile(name);
    if (QFileInfo::exists(own))
        return own;
    const QString beside = programFile(name);
    if (beside != own && QFileInfo(beside).isFile() && QFileInfo(beside).size() > 0)
        return beside;
    return own;
}

}  // namespace kestrune
