#include "core/filemanager/batchcheck.h"

#include "core/filemanager/batchwalk.h"
#include "core/fs/fsnames.h"
#include "core/system/textutil.h"

#include <sys/stat.h>

namespace kestrune {

namespace {

bool sameFolder(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(encodeFileName(a).constData(), &sa) == 0 && ::stat(encodeFileName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

BatchFolders checkBatchFolders(const FileSystemObject& fso, const QString& source, const QString& destination,
                               int operation)
{
    BatchFolders out;
    if (source.isEmpty()) {
        out.refusal = BatchRefusal::NoSource;
        return out;
    }
    if (trimBlanks(source).isEmpty() || !fso.FolderExists(source)) {
        out.refusal = BatchRefusal::SourceMissing;
        return out;
    }
    if (operation == kOpMove || operation == kOpCopy) {
        if (trimBlanks(destination).isEmpty()) {
            out.refusal = BatchRefusal::NoDestination;
            return out;
        }
        if (!fso.FolderExists(destination)) {
            out.refusal = BatchRefusal::DestinationMissing;
            return out;
        }
    }
    try {
        out.source = fso.GetFolder(source);
    } catch (const FsError&) {
        out.refusal = BatchRefusal::SourceMissing;
        return out;
    }
    if ((operation == kOpMove || operation == kOpCopy) && sameFolder(out.source.Path(), destination))
        out.refusal = BatchRefusal::SameFolder;
    return out;
}

QString batchRefusalText(BatchRefusal refusal)
{
    switch (refusal) {
    case BatchRefusal::None:
        break;
    case BatchRefusal::NoSource:
        return QStringLiteral("必须先指定源!");
    case BatchRefusal::SourceMissing:
        return QStringLiteral("指定的源目录不存在!");
    case BatchRefusal::NoDestination:
        return QStringLiteral("必须先指定目标!");
    case BatchRefusal::DestinationMissing:
        return QStringLiteral("指定的目标目录不存在!");
    case BatchRefusal::SameFolder:
        return QStringLiteral("源目录和目标目录相同,没有要做的操作!");
    }
    return QString();
}

}  // namespace kestrune
