#pragma once

// The emulated 8.3 names. Linux has none: a name that is a valid 8.3 name is
// its own, any other gets an alias unique among its folder's files.

#include <QString>

#include <optional>
#include <vector>

namespace kestrune {

// The 8.3 aliases of a folder's file names, given in listing order.
std::vector<QString> shortNamesFor(const std::vector<QString>& names);
// True when a name is a valid 8.3 name as it stands.
bool isValidShortName(const QString& name);
// The last `count` characters of a name's alias when they do not depend on
// the folder's other names (the name is its own alias, or the alias's
// extension covers them); nothing otherwise.
std::optional<QString> shortNameEnding(const QString& name, int count);

}  // namespace kestrune
