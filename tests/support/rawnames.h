#pragma once

// Files whose names are raw bytes, made and looked at with plain system
// calls so that no string decoding stands between the test and the disk.

#include "core/fs/fsnames.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kestrune::test {

// The mixture every such test uses: plain ASCII, "你好.txt" in GBK bytes, a
// name with one byte that is neither UTF-8 nor GB18030, and UTF-8.
QList<QByteArray> mixedNames();

// Creates `folder`/`name` (bytes) holding `content`; returns its path as the
// program holds it.
QString writeRaw(const QString& folder, const QByteArray& name, const QByteArray& content = "x");
// Whether `folder`/`name` exists (not following links).
bool rawExists(const QString& folder, const QByteArray& name);
// The owner write bit of `folder`/`name`.
void setRawReadOnly(const QString& folder, const QByteArray& name);
// A new empty folder on another file system (/dev/shm), removed with its
// files on destruction.
class ShmDir {
public:
    ShmDir();
    ~ShmDir();
    ShmDir(const ShmDir&) = delete;
    ShmDir& operator=(const ShmDir&) = delete;
    QString path() const { return m_path; }
    bool valid() const { return !m_path.isEmpty(); }

private:
    QString m_path;
};

}  // namespace kestrune::test
