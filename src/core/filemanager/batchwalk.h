#pragma once

#include "core/batch/batchrunner.h"
#include "core/fs/fso.h"
#include "core/system/textutil.h"
#include "core/fs/trash.h"

#include <QString>

#include <functional>

namespace kestrune {

// The operations of the batch file manager, numbered as its option buttons
// give them (option index + 1).
enum BatchOperation : qint16 { kOpMove = 1, kOpCopy = 2, kOpDelete = 3, kOpForceDelete = 4 };

// What the batch walk does, as the window's controls read when it started.
struct BatchInputs {
    bool multiType = false;   // the multi-type switch is ticked
    QString typeList;         // the ";"-separated suffix list
    QString singleType;       // the single-type pattern ("*.txt")
    int operation = 0;        // a BatchOperation; other values do nothing
    QString destination;      // the destination folder text
    bool overwrite = true;    // copy replaces an existing file
    // Deletes move the files to the trash of their file system instead of
    // removing them for good (the main menu's choice when the batch started).
    bool toTrash = false;
    // The switch is ticked but the list is empty (the window says so).
    std::function<void()> typeListMissing;
    // Told, on the walk's thread, of each file the operation was applied
    // to, and of each file or folder it failed on with the reason (the
    // window passes neither; the command line names them).
    std::function<void(const QString& path)> done;
    std::function<void(const QString& path, const QString& reason)> failed;
};

// The multi-type test: `name` (the long name) passes when it ends in one of
// the ";"-separated entries, each trimmed, compared in lower case, first
// match wins. No dot is added: "doc" matches "a.doc" and "adoc". An entry
// that is empty after trimming matches nothing.
bool matchesTypeList(const QString& name, const QString& typeList);

// The single-type test: the last three characters of the short (8.3) name
// against the last three of the pattern, in lower case. The pattern is used
// as typed, except that "*.*" and "*" (blanks around them aside) take every
// file.
bool matchesSingleType(const QString& shortName, const QString& pattern);

// Applies one operation to one file; `destination` is the folder the file
// goes into under its own name. Throws FsError when the file system refuses.
// A move to another file system joins `moves` when given (its source is
// removed at the group's next flush), else it is flushed on its own.
// `observer` follows a copy's chunks and can stop it. With `trash` the
// deletes put the file there (a file that cannot go there is kept and
// fails); without it they delete for good.
void applyBatchOperation(const File& file, int operation, const QString& destination, bool overwrite,
                         MoveGroup* moves = nullptr, const CopyObserver& observer = {}, TrashCan* trash = nullptr);

// Walks the folder at `root` (and, with `recurse`, its whole tree, depth first: a folder's
// files before its subfolders) and applies the chosen operation to every
// file that passes the chosen filter. When moving or copying, the files of
// the destination folder and its tree are left alone: they are the batch's
// output, not its input. Failures of single files are skipped (told to
// `inputs.failed` when set). With
// the multi-type switch ticked and an empty list, `typeListMissing` is
// called when a folder's first file is reached and the rest of that folder,
// subfolders included, is left alone. `progress` is told of each file
// before it is looked at and of a large copy's chunks; once it is to stop,
// the walk stops between two files or inside a copy (which is then undone).
// Deletes for good go a folder at a time, on the walk's thread and a helper
// (see DeleteGroup): their files are told in the same order, a little later.
// Returns the number of files the operation was applied to; `stopped` tells
// whether the walk was stopped. A root that cannot be opened is told to
// `inputs.failed`. The folder is opened on the walk's own thread.
int batchWalk(const QString& root, bool recurse, const BatchInputs& inputs, ProgressSink* progress = nullptr,
              bool* stopped = nullptr);

}  // namespace kestrune
