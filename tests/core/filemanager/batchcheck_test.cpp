#include "core/filemanager/batchcheck.h"

#include "core/filemanager/batchwalk.h"
#include "support/tempdir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kestrune;
using kestrune::test::TempDir;

// The checks before a batch, in the window's order: the first that fails
// is the one told; deletes have no destination; a destination that is the
// source itself (by any path) is refused for moves and copies.
TEST(BatchCheck, RefusesInTheWindowsOrder)
{
    TempDir t;
    const QString src = t.mkdir(QStringLiteral("src"));
    const QString dst = t.mkdir(QStringLiteral("dst"));
    const QString file = t.write(QStringLiteral("file.txt"));
    const QString alias = t.file(QStringLiteral("alias"));
    ASSERT_EQ(::symlink(QFile::encodeName(src).constData(), QFile::encodeName(alias).constData()), 0);
    const QString missing = t.file(QStringLiteral("missing"));
    const struct {
        QString source;
        QString destination;
        int operation;
        BatchRefusal refusal;
    } cases[] = {
        {QString(), dst, kOpCopy, BatchRefusal::NoSource},
        {QStringLiteral("  "), dst, kOpCopy, BatchRefusal::SourceMissing},
        {missing, QString(), kOpCopy, BatchRefusal::SourceMissing},
        {file, dst, kOpMove, BatchRefusal::SourceMissing},
        {src, QStringLiteral(" "), kOpMove, BatchRefusal::NoDestination},
        {src, missing, kOpCopy, BatchRefusal::DestinationMissing},
        {src, file, kOpCopy, BatchRefusal::DestinationMissing},
        {src, src, kOpCopy, BatchRefusal::SameFolder},
        {src, alias, kOpMove, BatchRefusal::SameFolder},
        {alias, src + QStringLiteral("/."), kOpCopy, BatchRefusal::SameFolder},
        {src, src, kOpDelete, BatchRefusal::None},
        {src, missing, kOpForceDelete, BatchRefusal::None},
        {src, dst, kOpCopy, BatchRefusal::None},
    };
    const FileSystemObject fso;
    for (const auto& c : cases) {
        const BatchFolders checked = checkBatchFolders(fso, c.source, c.destination, c.operation);
        EXPECT_EQ(checked.refusal, c.refusal) << c.source.toStdString() << " -> " << c.destination.toStdString();
        if (c.refusal == BatchRefusal::None)
            EXPECT_EQ(checked.source.Path(), c.source);
        else
            EXPECT_FALSE(batchRefusalText(c.refusal).isEmpty());
    }
}
