#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kestrune::test {

// A temporary folder for one test, with helpers to lay out a tree.
class TempDir {
public:
    TempDir();
    // Removes the tree by its bytes: names that are not UTF-8 go too.
    ~TempDir();
    QString path() const { return m_dir.path(); }
    // A path below the folder ("a/b/c.txt").
    QString file(const QString& relative) const;
    // Creates a file (and its folders) with the given bytes; returns its path.
    QString write(const QString& relative, const QByteArray& bytes = QByteArray("x"));
    QString mkdir(const QString& relative);
    bool exists(const QString& relative) const;
    QByteArray read(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

// The working folder for the length of a test.
class InFolder {
public:
    explicit InFolder(const QString& path) : m_old(QDir::currentPath()) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

// The Name() of each file or folder, in order.
template <typename Items>
QStringList namesOf(const Items& items)
{
    QStringList out;
    for (const auto& item : items)
        out << item.Name();
    return out;
}

// Reads a whole file; empty when it cannot be read.
QByteArray readBytes(const QString& path);
// Clears or sets the owner write bit.
void setReadOnly(const QString& path, bool readOnly);

}  // namespace kestrune::test
