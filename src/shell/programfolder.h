#pragma once

#include <QString>

namespace kestrune {

// The folder that holds the program file (not the working folder): the
// program keeps db1.mdb, setting.txt and readme.txt there.
QString programFolder();
// Tests point the program at a folder of their own; "" goes back.
void setProgramFolder(const QString& folder);
// A file in the program's folder.
QString programFile(const QString& name);

}  // namespace kestrune
