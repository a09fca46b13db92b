#pragma once

// The desktop's trash, as file managers and `gio trash` keep it (the
// freedesktop.org trash layout): a file on the home's file system goes to
// $XDG_DATA_HOME/Trash, a file on any other file system to that file
// system's own trash ($topdir/.Trash/$uid when the administrator made a
// shared .Trash, else $topdir/.Trash-$uid). A file is never copied across
// file systems: one that cannot go to a trash on its own file system stays
// where it is.

#include <QByteArray>
#include <QString>

#include <memory>

namespace kestrune {

// Puts files into the trash. One per batch: it keeps the trash folders it
// has opened (one per file system) and the names it has handed out, so that
// a long batch works out each trash once. Used by one thread at a time.
class TrashCan {
public:
    TrashCan();
    ~TrashCan();
    TrashCan(const TrashCan&) = delete;
    TrashCan& operator=(const TrashCan&) = delete;

    // Moves the entry `name` (exact bytes) of the folder open as `folderFd`
    // into the trash of its file system: its .trashinfo (the original path,
    // percent-encoded from its exact bytes, and the deletion time) is made
    // first, under a name no other trashed file has, then the entry is
    // renamed into the trash's files/. `shownPath` names the file in
    // errors. Throws FsError when it cannot (the entry is left where it was
    // and no .trashinfo stays behind).
    void put(int folderFd, const QByteArray& name, const QString& shownPath);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The main menu's "删除时移到回收站" choice, in the per-user settings store
// (on unless the user turned it off). Read on the window's thread when a
// batch starts; the batch gets the answer.
bool deleteToTrashSetting();
void saveDeleteToTrashSetting(bool toTrash);

}  // namespace kestrune
