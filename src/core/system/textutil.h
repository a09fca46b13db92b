#pragma once

#include <QString>

namespace kestrune {

// Removes leading and trailing blanks (spaces only, not tabs or line
// breaks), the way the text boxes and list entries are taken when used.
QString trimBlanks(const QString& text);

}  // namespace kestrune
