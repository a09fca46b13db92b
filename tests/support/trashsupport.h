#pragma once

// The desktop's trash in tests: a trash of the test's own, a second file
// system (an ext4 image on a loop device, as a USB stick would be), and what
// `gio trash` (the desktop's own trash tool) makes of the result.

#include "support/tempdir.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kestrune::test {

// While it lives, XDG_DATA_HOME points into a fresh folder: the home trash
// is `trash()`.
class OwnTrash {
public:
    OwnTrash();
    ~OwnTrash();
    OwnTrash(const OwnTrash&) = delete;
    OwnTrash& operator=(const OwnTrash&) = delete;
    QString trash() const { return m_dir.file(QStringLiteral("data/Trash")); }

private:
    TempDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

// A new ext4 file system mounted at `mountPoint` (made if missing), unmounted
// and removed on destruction. Needs root and loop devices: when it cannot be
// made, mounted() is false and why() says what failed.
class LoopMount {
public:
    explicit LoopMount(const QString& mountPoint);
    ~LoopMount();
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;
    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    QString path() const { return m_mountPoint; }
    // Mounts it again read-only (what is on it stays).
    bool makeReadOnly();

private:
    QString m_mountPoint;
    QString m_image;
    bool m_mounted = false;
    QString m_why;
};

// The exact bytes of a trash entry's .trashinfo; empty when there is none.
QByteArray trashInfo(const QString& trash, const QByteArray& entry);
// The names in a trash's files/ (exact bytes), sorted.
QList<QByteArray> trashEntries(const QString& trash);
// The Path= line a .trashinfo holds for `path` (exact bytes).
QByteArray infoPathLine(const QByteArray& path);
// Whether a .trashinfo has the Path line and a well-formed deletion date.
bool isTrashInfoFor(const QByteArray& info, const QByteArray& path);

// `gio trash --list` in a session bus of its own (with XDG_DATA_HOME as it is
// now): original path -> the trash address gio knows it by. Empty when gio
// could not run; `error` says why.
QMap<QString, QString> gioTrashList(QString* error = nullptr);
// `gio trash --restore` of one address; true when it says it did.
bool gioTrashRestore(const QString& address, QString* error = nullptr);

}  // namespace kestrune::test
