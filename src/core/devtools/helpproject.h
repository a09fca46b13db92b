#pragma once

#include "core/fs/fso.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrune {

// The help project (.hhp) of a decompiled help file: the project format of
// the help workshop, naming the compiled file, the contents and index files,
// the default topic, the language and every file of the decompiled output,
// so that the output can be compiled again.
//
// The project is text in code page 936 (written as GB18030). A name that is
// not UTF-8 is written as its own bytes: GBK names, as old help files hold
// them, are valid GB18030 and read back as themselves. A name that the
// project cannot hold (a CR or LF in it, which would make a line of its
// own, or bytes that are not GB18030) is left out with its line and
// reported as not listed.

// The project file of an output folder: <output>/<base name>.hhp.
QString helpProjectPath(const QString& outputFolder, const QString& baseName);

// Whether `name` (a name or path) can stand in a line of a project.
bool fitsHelpProject(const QString& name);
// The bytes of a project line: text as GB18030, the parts of names that are
// not UTF-8 as their own bytes.
QByteArray helpProjectLineBytes(const QString& line);

// The project's lines for the output folder as it is now. `helpFileName` is
// the help file's own name (Help.chm); its stem, the name without its last
// three characters, names the preferred contents (stem + "hhc"), default
// topic (stem + "htm") and index (stem + "hhk") files. Lines without a
// value (no contents file, no default topic, no index file) are left out,
// and so are lines whose name does not fit a project (see above): those
// names are added to `unlisted`. Throws FsError when the output folder
// cannot be listed.
QStringList helpProjectLines(const Folder& output, const QString& helpFileName, QStringList* unlisted = nullptr);

// Writes the project of the help file decompiled into `outputFolder`,
// replacing an older one, and returns the names it left out. The project
// file is created before the output is listed, so it is among the files it
// lists. The output folder is opened without following a link, and the
// project is written beside the old one and renamed over it: a link in
// place of the folder or of the project file is refused, never written
// through. CR LF line ends. Throws FsError when the folder is missing, is a
// link, or the file cannot be written.
QStringList writeHelpProject(const FileSystemObject& fso, const QString& outputFolder, const QString& baseName,
                             const QString& helpFileName);

}  // namespace kestrune
