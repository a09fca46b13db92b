#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kestrune {

// Code page 936 text is written as GB18030: byte-identical for every
// character that code page has, and lossless for every other one.
QByteArray toGb18030(const QString& text);
QString fromGb18030(const QByteArray& bytes);

// The one reader of the program's own text files: valid UTF-8 (a byte order
// mark dropped) is read as UTF-8, anything else as GB18030.
QString decodeProgramText(const QByteArray& bytes);
// Reads a whole text file that way; nothing when the file cannot be read,
// with the reason in `error`.
std::optional<QString> readProgramTextFile(const QString& path, QString* error = nullptr);

}  // namespace kestrune
