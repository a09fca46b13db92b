#pragma once

#include "core/system/platform.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kestrune {

// A program and its arguments, each argument handed over as one word
// (never joined into a command line, so blanks in paths stay inside their
// argument).
struct Launch {
    QString program;
    QStringList arguments;
};

// What a program file is, as far as starting it goes.
enum class ProgramKind {
    Windows,    // starts with "MZ": runs through wine
    Native,     // an ELF program or a script with its execute bit: runs directly
    NotStartable
};
struct ProgramFile {
    ProgramKind kind = ProgramKind::NotStartable;
    QString reason;  // why it cannot be started
};
ProgramFile examineProgram(const QString& path);

// The wine found on the PATH, or "" when there is none.
QString findWine();
// The wine prefix: WINEPREFIX, or ~/.wine.
QString winePrefix();
// The drive under which wine shows the root folder "/": the letter whose
// link in the prefix's dosdevices folder points at "/", Z: without one.
QString wineRootDrive(const QString& prefix);
// A path as a Windows program started through wine names the same file:
// the root drive, then the absolute path with "\" separators.
QString windowsPath(const QString& path, const QString& rootDrive);

// The compiler run for one project: [compiler, "/MAKE", project] for a
// native compiler; through `wine` with the project in Windows form for a
// Windows compiler.
Launch compileLaunch(const QString& compiler, ProgramKind kind, const QString& wine, const QString& rootDrive,
                     const QString& project);
// The silent registration of one library: wine regsvr32 /s LIBRARY.
Launch registrationLaunch(const QString& wine, const QString& rootDrive, const QString& library);

// The compiler of a compile run and how it is started.
struct CompilerSetup {
    QString compiler;  // the path, blanks trimmed
    ProgramKind kind = ProgramKind::NotStartable;
    QString reason;  // why it cannot be started (NotStartable)
    QString wine;
    QString rootDrive;
};
// Looks at the compiler named by `text` before a compile run: the message
// that refuses the run ("指定的编译器路径错误!", or the missing wine), or
// nothing with `setup` filled in.
std::optional<QString> prepareCompiler(const QString& text, CompilerSetup& setup);
// Starts the compiler for one project, detached (it runs on by itself);
// why it could not be started, or nothing.
std::optional<QString> startCompile(const CompilerSetup& setup, const QString& project);

// A short text of how a program ended badly: its exit status, or why it
// could not start, or how it crashed.
QString describeEnd(const ProgramEnd& end);

}  // namespace kestrune
