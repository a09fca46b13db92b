#pragma once

#include "cli/command.h"

#include <optional>

namespace kestrune {
class WorkList;
}

namespace kestrune::cli {

// Whether this run's deletes go to the trash: --trash or --no-trash, else
// the main menu's choice. Nothing when both are given.
std::optional<bool> trashChoice(const Parsed& p);

// The list as the window builds it: a typed path as it is, a folder as
// "添加目录到列表" adds it (files ending in `extension`). False, with the
// folder named, when a folder cannot be read.
bool buildWorkList(WorkList& list, const QStringList& args, const QString& extension);

}  // namespace kestrune::cli
