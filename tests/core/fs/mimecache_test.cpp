#include "core/fs/mimecache.h"

#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

using namespace kestrune;

namespace {

// Names a glob matches: each wildcard filled in a few ways.
QStringList namesFromGlob(const QString& glob)
{
    QStringList out{QString()};
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob.at(i);
        QStringList pieces;
        if (c == QLatin1Char('*')) {
            pieces = {QString(), QStringLiteral("x"), QStringLiteral("ab.c")};
        } else if (c == QLatin1Char('?')) {
            pieces = {QStringLiteral("q")};
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = glob.indexOf(QLatin1Char(']'), i + 2);
            if (close > i) {
                pieces = {glob.mid(i + 1, 1), QStringLiteral("0")};
                i = close;
            } else {
                pieces = {QString(c)};
            }
        } else {
            pieces = {QString(c)};
        }
        QStringList next;
        for (const QString& start : out)
            for (const QString& piece : pieces)
                next << start + piece;
        out = next.mid(0, 12);
    }
    return out;
}

}  // namespace

TEST(MimeNameCache, GivesTheDatabasesOwnAnswerForEveryKindOfName)
{
    QMimeDatabase db;
    QStringList names;
    for (const QMimeType& type : db.allMimeTypes()) {
        for (const QString& glob : type.globPatterns()) {
            for (const QString& n : namesFromGlob(glob)) {
                names << n << n.toUpper() << n.toLower() << QStringLiteral("a.") + n << QStringLiteral(".") + n
                      << n + QStringLiteral("~") << n + QStringLiteral(".bak") << QStringLiteral("报告") + n;
            }
        }
    }
    names << "README" << "README.md" << "readme.txt" << "Makefile" << "Makefile.am" << "makefile" << "x.so.1"
          << "libz.so.1.2" << "core" << "CORE" << "a.tar.gz" << "A.TAR.GZ" << "a.TAR.gz" << "file0.dat"
          << "file1.doc" << "file2.htm" << "noextension" << "." << ".." << "..." << "a." << "主页.htm"
          << "报告.DOC" << "x.txt\u212A" << "\u212Aa.txt" << "123.vdr" << "a.anim5" << "a.1" << "a.12"
          << "CMakeLists.txt" << "cmakelists.txt" << "x.CMakeLists.txt" << "a b.txt" << "a\tb.txt";
    QRandomGenerator random(20261208);
    const QStringList endings{".txt", ".doc", ".dat", ".tar.gz", ".gz", ".c", ".h", ".htm", ".so", ".1", ""};
    for (int i = 0; i < 3000; ++i) {
        QString n = QStringLiteral("f%1").arg(random.bounded(100000));
        n += endings[random.bounded(int(endings.size()))];
        if (random.bounded(3) == 0)
            n += endings[random.bounded(int(endings.size()))].toUpper();
        names << n;
    }

    MimeNameCache cache;
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString& n : names) {
            const QMimeType expected = db.mimeTypeForFile(n, QMimeDatabase::MatchExtension);
            ASSERT_EQ(cache.typeName(n).toStdString(), expected.name().toStdString()) << n.toStdString();
            ASSERT_EQ(cache.comment(n).toStdString(), expected.comment().toStdString()) << n.toStdString();
        }
    }
    // The answers are kept and used: most names above share an ending.
    EXPECT_GT(cache.hits(), names.size());
}
