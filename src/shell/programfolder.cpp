#include "shell/programfolder.h"

#include "shell/fso.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
    return folderWritable(program) ? program : userDataFolder();
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
