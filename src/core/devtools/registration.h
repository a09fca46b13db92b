#pragma once

#include "core/devtools/programlaunch.h"
#include "core/fs/fso.h"
#include "core/batch/programrunner.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kestrune {

// A component library: the last three characters of the name, in lower
// case, are "dll" or "ocx" (no dot needed: "xdll" is one).
bool isComponentLibrary(const QString& name);

// The registration of one folder's own libraries.
struct FolderRegistration {
    bool wineMissing = false;  // libraries were found but no wine: nothing to start
    QStringList libraries;     // the names of the libraries, in listing order
    QStringList paths;         // their paths
    std::vector<Launch> launches;
    // How each registration ended, once the runner has run them.
    std::vector<std::optional<ProgramOutcome>> ends;
    bool cancelled = false;
    // How many registrations ended (not counting those a cancel kept from starting).
    int ended() const;
    // The lines naming each library whose registration failed, with its exit
    // status or why it did not start.
    QStringList failures() const;
};

// Finds every library among the folder's own files (subfolders are not
// searched) and the registration of each. Throws FsError when the folder
// cannot be listed.
FolderRegistration prepareRegistration(const Folder& folder);
// Hands the registrations to `runner` (as many at once as it allows).
void addRegistrations(const FolderRegistration& run, ProgramRunner& runner);
// Takes how each ended from `runner` once all have.
void collectRegistrations(FolderRegistration& run, const ProgramRunner& runner);

// The completion message: `done`, and the failures after "以下文件注册失败:".
QString registrationMessage(const QString& done, const FolderRegistration& run);

}  // namespace kestrune
