#pragma once

#include "support/tempdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace kestrune::test {

// Stand-ins for wine and a native compiler. Each run of a stub writes its
// program name and arguments to a file of its own, and exits with 3 when an
// argument contains "bad". While it lives, the stub folder is first on the
// PATH (or, without wine, the PATH holds nothing else) and WINEPREFIX
// points at an empty prefix.
class LaunchStubs {
public:
    explicit LaunchStubs(bool withWine = true);
    ~LaunchStubs();

    // Writes a stub at `path` (folders made as needed); returns the path.
    QString writeStub(const QString& path);
    // The wine prefix of the test.
    QString prefix() const { return m_dir.file(QStringLiteral("prefix")); }

    // Every run so far: the stub's name first, then its arguments; in the
    // order of their arguments (runs may end in any order).
    std::vector<QStringList> runs() const;
    // Lets events through until `count` runs have written their arguments.
    bool waitForRuns(int count, int timeoutMs = 10000) const;

private:
    TempDir m_dir;
    QByteArray m_oldPath;
    QByteArray m_oldPrefix;
    bool m_hadPrefix = false;
};

}  // namespace kestrune::test
