#pragma once

#include "shell/fso.h"

#include <QString>
#include <QStringList>

namespace kestrune {

// The help project (.hhp) of a decompiled help file: the project format of
// the help workshop, naming the compiled file, the contents and index files,
// the default topic, the language and every file of the decompiled output,
// so that the output can be compiled again.

// The project file of an output folder: <output>/<base name>.hhp.
QString helpProjectPath(const QString& outputFolder, const QString& baseName);

// The project's lines for the output folder as it is now. `helpFileName` is
// the help file's own name (Help.chm); its stem, the name without its last
// three characters, names the preferred contents (stem + "hhc"), default
// topic (stem + "htm") and index (stem + "hhk") files. Lines without a
// value (no contents file, no default topic, no index file) are left out.
// Throws FsError when the output folder cannot be listed.
QStringList helpProjectLines(const Folder& output, const QString& helpFileName);

// Writes the project of the help file decompiled into `outputFolder`,
// replacing an older one. The project file is created before the output is
// listed, so it is among the files it lists. Text in code page 936 with
// CR LF line ends, through the program's text-file writer. Throws FsError
// when the folder is missing or the file cannot be written.
void writeHelpProject(const FileSystemObject& fso, const QString& outputFolder, const QString& baseName,
                      const QString& helpFileName);

}  // namespace kestrune
