#include "shell/programfolder.h"

#include "shell/fso.h"

#include <QCoreApplication>
#include <QDir>

namespace kestrune {

namespace {
QString& overrideFolder()
{
    static QString folder;
    return folder;
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

}  // namespace kestrune
