#pragma once

#include "core/fs/fso.h"

#include <QString>

namespace kestrune {

// Why the batch file manager refuses to start; each has its message.
enum class BatchRefusal {
    None,
    NoSource,            // "必须先指定源!"
    SourceMissing,       // "指定的源目录不存在!"
    NoDestination,       // "必须先指定目标!"
    DestinationMissing,  // "指定的目标目录不存在!"
    SameFolder,          // the destination is the source: nothing would be done
};

struct BatchFolders {
    BatchRefusal refusal = BatchRefusal::None;
    Folder source;  // the folder to walk, when not refused
};

// The checks of "开始" before anything is touched, in the window's order: a
// source or destination that is not a folder would walk nothing or send
// every file to the root folder. The destination counts for moves and
// copies only (`operation` a BatchOperation).
BatchFolders checkBatchFolders(const FileSystemObject& fso, const QString& source, const QString& destination,
                               int operation);

QString batchRefusalText(BatchRefusal refusal);

}  // namespace kestrune
