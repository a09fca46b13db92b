#pragma once

#include "core/batch/failurelist.h"
#include "core/batch/batchrunner.h"
#include "core/records/recordstore.h"
#include "core/fs/fso.h"

#include <QString>

#include <functional>
#include <vector>

namespace kestrune {

// The first `limit` characters of a text, without splitting a surrogate pair.
QString leftCharacters(const QString& text, int limit);

// What one recording run did.
struct RecordRun {
    enum class Outcome {
        Recorded,     // the folder's files were stored
        NoFiles,      // the folder holds no file: nothing stored
        NoFolder,     // the path names no folder (or names a file)
        ListFailed,   // the folder's files could not be listed
        StoreFailed,  // the store failed: nothing of the run was kept
        Cancelled,    // stopped by the user: nothing of the run was kept
    };
    Outcome outcome = Outcome::NoFolder;
    int stored = 0;
    int dropped = 0;
    int handled = 0;  // files read before the run ended
    QString error;  // for ListFailed and StoreFailed
    // Recorded: the files whose size and date could not be read (their
    // records hold neither) and those whose records the table refused.
    FailureList failures;
};

// The heading of the message that names a run's failures.
QString recordFailureHeading();

// Records every file directly inside `folderPath` (in listing order) into
// fileInf through `fileInf`, all in one transaction: a run that fails or is
// stopped keeps nothing. `progress` is stepped before each file with the
// number handled before it; once it is to stop, the run ends there. The
// files' sizes and dates are read and the records stored on the calling
// thread (the store's own) while a second thread works out the short names
// and types.
RecordRun recordFolder(const FileSystemObject& fso, const QString& folderPath, TableCursor& fileInf,
                       int nameLimit = 0, ProgressSink* progress = nullptr);

// Appends one log record: the folder text as given (a name that is not
// UTF-8 in its readable form, its exact bytes kept beside it) and the time.
bool addLogRecord(TableCursor& log, const QString& folderText, const QDateTime& time);

}  // namespace kestrune
