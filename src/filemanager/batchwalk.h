#pragma once

#include "shell/fso.h"
#include "shell/textutil.h"

#include <QString>

#include <functional>

namespace kestrune {

// The operations of the batch file manager, numbered as its option buttons
// give them (option index + 1).
enum BatchOperation : qint16 { kOpMove = 1, kOpCopy = 2, kOpDelete = 3, kOpForceDelete = 4 };

// What the batch walk reads from its window. Every value is asked for again
// for each file, so the walk always acts on what the window shows.
struct BatchInputs {
    std::function<bool()> multiType;          // the multi-type switch is ticked
    std::function<QString()> typeList;        // the ";"-separated suffix list
    std::function<QString()> singleType;      // the single-type pattern ("*.txt")
    std::function<int()> operation;           // a BatchOperation; other values do nothing
    std::function<QString()> destination;     // the destination folder text
    std::function<bool()> overwrite;          // copy replaces an existing file
    std::function<void()> typeListMissing;    // the switch is ticked but the list is empty
    // Asked before each file is looked at, with the number of files the
    // operation was applied to so far; false stops the walk there.
    std::function<bool(const File& file, int handled)> beforeFile;
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
void applyBatchOperation(const File& file, int operation, const QString& destination, bool overwrite,
                         MoveGroup* moves = nullptr);

// Walks `root` (and, with `recurse`, its whole tree, depth first: a folder's
// files before its subfolders) and applies the chosen operation to every
// file that passes the chosen filter. When moving or copying, the files of
// the destination folder and its tree are left alone: they are the batch's
// output, not its input. Failures of single files are skipped silently. With the multi-type switch ticked and an empty list,
// `typeListMissing` is called when a folder's first file is reached and the
// rest of that folder, subfolders included, is left alone. Returns the
// number of files the operation was applied to; `stopped` tells whether
// `beforeFile` stopped the walk.
int batchWalk(const Folder& root, bool recurse, const BatchInputs& inputs, bool* stopped = nullptr);

}  // namespace kestrune
