#pragma once

#include "devtools/programlaunch.h"
#include "shell/fso.h"

#include <QString>
#include <QStringList>

namespace kestrune {

class BatchProgress;

// A component library: the last three characters of the name, in lower
// case, are "dll" or "ocx" (no dot needed: "xdll" is one).
bool isComponentLibrary(const QString& name);

// The registration of one folder's own libraries.
struct FolderRegistration {
    bool wineMissing = false;  // libraries were found but no wine: nothing started
    QStringList libraries;     // the names of the libraries, in listing order
    LaunchOutcome outcome;
    // The lines naming each library whose registration failed, with its exit
    // status or why it did not start.
    QStringList failures() const;
};

// Registers every library among the folder's own files (subfolders are not
// searched): all are started, at most as many at once as the machine has
// cores, and awaited. Throws FsError when the folder cannot be listed.
FolderRegistration registerFolder(const Folder& folder, BatchProgress& progress);

// The completion message: `done`, and the failures after "以下文件注册失败:".
QString registrationMessage(const QString& done, const FolderRegistration& run);

}  // namespace kestrune
