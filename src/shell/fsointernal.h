#pragma once

// What the parts of the file-system object share: the listing behind a
// Folder and the ways they fail. Not for use outside src/shell/fso*.

#include "shell/fso.h"

#include <QFile>

#include <vector>

#include <sys/stat.h>

namespace kestrune {

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

namespace fsodetail {

[[noreturn]] void fail(const QString& path, int errorNumber);
[[noreturn]] void fail(const QString& path, int errorNumber, const QString& message);

inline QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool isSeparator(QChar c);

// Read-only means the owner's write bit is clear, for root too.
inline bool isReadOnlyMode(mode_t mode)
{
    return (mode & S_IWUSR) == 0;
}

// The status of what `path` names (following links); throws FsError.
struct stat statOrFail(const QString& path);

}  // namespace fsodetail
}  // namespace kestrune
