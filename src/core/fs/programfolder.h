#pragma once

#include <QString>

#include <functional>

namespace kestrune {

// The folder that holds the program file (not the working folder). The
// "current folder" buttons mean this folder, and the helper programs are
// found in it.
QString programFolder();
// Tests point the program at a folder of their own; "" goes back.
void setProgramFolder(const QString& folder);
// A file in the program's folder.
QString programFile(const QString& name);

// The folder of the files the program keeps for its user (db1.mdb,
// setting.txt, readme.txt): the program's folder when this user may create
// files in it and no other user may (a copy of the program unpacked somewhere
// of the user's own), otherwise the user's data folder (an installed program,
// or a copy in a folder shared with others). The files are written with
// CreateDataTextFile, never through a link.
QString dataFolder();
// A file in that folder. The user's data folder is created when missing, so
// the file can be written at once.
QString dataFile(const QString& name);
// A file to read: the user's own when there is one, else a non-empty one of
// the same name beside the program (installed with it), else the user's
// (not there yet: written when first needed).
QString dataFileToRead(const QString& name);
// $XDG_DATA_HOME/Kestrune, by default ~/.local/share/Kestrune.
QString userDataFolder();

// Whether this user may create files in the folder. The system decides
// (access(2)): it knows the user's groups, ACLs and read-only mounts. Root
// passes nearly everywhere, so tests that run as root put in a check of
// their own, which for the data folder also stands for folderOnlyMine(); an
// empty function goes back to the system's.
bool folderWritable(const QString& folder);
// Whether the folder is this user's and no other user may create or replace
// files in it: owned by this user, not writable by others, and writable by
// its group only when the group is the user's own (with no other member).
bool folderOnlyMine(const QString& folder);
void setFolderWritableCheck(std::function<bool(const QString&)> check);

}  // namespace kestrune
