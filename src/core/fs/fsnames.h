#pragma once

// File names as the system keeps them (bytes) and as the program holds them
// (strings). The mapping is lossless: valid UTF-8 is read as it is, and
// every other byte 0xNN becomes the lone surrogate U+DCNN, which encodes back
// to that very byte. A name read from a folder can thus always be reached
// again. Such strings are never shown as they are: displayFileName() makes
// them readable.

#include <QByteArray>
#include <QString>

namespace kestrune {

QString decodeFileName(const QByteArray& bytes);
QString decodeFileName(const char* bytes);
QByteArray encodeFileName(const QString& name);

// Whether `name` holds a byte that is not UTF-8.
bool hasRawBytes(const QString& name);

// How a name or path is shown: each part between slashes that is not UTF-8
// is read as GB18030 when it is valid GB18030 (names from Windows systems in
// China), else every byte that is not UTF-8 is shown as \xNN. A name
// that is plain UTF-8 comes back unchanged.
QString displayFileName(const QString& nameOrPath);
// The same for a name inside a line of a message or list: control
// characters (a line feed in a name) are shown as \xNN too, so that a name
// never breaks or adds a line.
QString displayFileNameInLine(const QString& nameOrPath);

// A path as Qt's own dialogs give it back: Qt reads names as UTF-8 and puts
// U+FFFD for each byte that is not, so such a path names no file. Each part
// holding U+FFFD is replaced by the one name of its folder that Qt reads
// that way (when exactly one does); every other part stays as it is.
QString fileNameFromQt(const QString& path);

// The current folder, its bytes kept.
QString currentFolderPath();

}  // namespace kestrune
