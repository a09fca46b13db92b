#include "support/recordtest.h"

#include "core/records/recorder.h"
#include "core/records/recordstore.h"
#include "support/tempdir.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <thread>

using namespace kestrune;
using namespace kestrune::test;

namespace {

const QStringList kBoth = {QStringLiteral("fileInf"), QStringLiteral("log")};

QVariantList fileValues(const QString& name, QVariant size)
{
    return {name, QStringLiteral("t"), size, QStringLiteral("2024-01-02 03:04:05"), name.left(8)};
}

}  // namespace

TEST(RecordStore, MissingFileIsCreatedWithBothTablesAndNothingElseIsLeft)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("db1.mdb"));
    RecordStore store(path);
    ASSERT_TRUE(store.open(kBoth)) << store.errorText().toStdString();
    EXPECT_EQ(store.actualFields(QStringLiteral("fileInf")),
              QStringList({"FileName", "FileType", "filesize", "LastModified", "ShortName"}));
    EXPECT_EQ(store.actualFields(QStringLiteral("log")), QStringList({"FolderPath", "RecordTime"}));
    // Only the database itself: the file it was built in is gone.
    EXPECT_EQ(folderEntries(dir.path()), QStringList({"db1.mdb"}));
    EXPECT_EQ(store.count(QStringLiteral("fileInf")), 0);
}

TEST(RecordStore, FilesOfTheWrongKindAreReportedAndLeftByteIdentical)
{
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
        RecordStore::Status status;
        const char* mentioned;
    };
    const std::vector<Case> cases = {
        {"access file", [](const QString& p) {
             QFile f(p);
             f.open(QIODevice::WriteOnly);
             f.write(accessLikeBytes());
         },
         RecordStore::Status::NotDatabase, "SQLite"},
        {"empty file", [](const QString& p) {
             QFile f(p);
             f.open(QIODevice::WriteOnly);
         },
         RecordStore::Status::MissingTable, "fileInf"},
        {"no log table", [](const QString& p) {
             execOn(p, {"CREATE TABLE fileInf (FileName, FileType, filesize, LastModified, ShortName)"});
         },
         RecordStore::Status::MissingTable, "log"},
        {"missing field", [](const QString& p) {
             execOn(p, {"CREATE TABLE fileInf (FileName, FileType, filesize, LastModified, ShortName)",
                        "CREATE TABLE log (FolderPath)"});
         },
         RecordStore::Status::MissingField, "RecordTime"},
        {"fields out of order", [](const QString& p) {
             execOn(p, {"CREATE TABLE fileInf (FileName, filesize, FileType, LastModified, ShortName)",
                        "CREATE TABLE log (FolderPath, RecordTime)"});
         },
         RecordStore::Status::MissingField, "FileType"},
        {"a view instead of a table", [](const QString& p) {
             execOn(p, {"CREATE TABLE fileInf (FileName, FileType, filesize, LastModified, ShortName)",
                        "CREATE TABLE other (FolderPath, RecordTime)", "CREATE VIEW log AS SELECT * FROM other"});
         },
         RecordStore::Status::MissingTable, "log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const QString path = dir.file(QStringLiteral("db1.mdb"));
        c.make(path);
        const QByteArray before = readBytes(path);
        const QStringList entries = folderEntries(dir.path());
        {
            RecordStore store(path);
            EXPECT_FALSE(store.open(kBoth));
            EXPECT_FALSE(store.isOpen());
            EXPECT_EQ(store.status(), c.status);
            EXPECT_TRUE(store.errorText().contains(path)) << store.errorText().toStdString();
            EXPECT_TRUE(store.errorText().contains(QString::fromLatin1(c.mentioned)))
                << store.errorText().toStdString();
            // Nothing can be written through it either.
            TableCursor cursor(store, QStringLiteral("fileInf"));
            EXPECT_FALSE(cursor.requery());
            EXPECT_FALSE(cursor.addNew(fileValues(QStringLiteral("a"), 1)));
            EXPECT_FALSE(cursor.deleteAll());
        }
        EXPECT_EQ(readBytes(path), before);
        EXPECT_EQ(folderEntries(dir.path()), entries);
    }
}

TEST(RecordStore, NamesAreComparedWithoutCaseAndWrittenByPosition)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("db1.mdb"));
    ASSERT_TRUE(execOn(path, {"CREATE TABLE FILEINF (filename TEXT, filetype TEXT, FILESIZE INTEGER, "
                              "lastmodified TEXT, shortname TEXT, Extra TEXT)",
                              "CREATE TABLE Log (folderpath TEXT, recordtime TEXT)"}));
    RecordStore store(path);
    ASSERT_TRUE(store.open(kBoth)) << store.errorText().toStdString();
    TableCursor cursor(store, QStringLiteral("fileInf"));
    ASSERT_TRUE(cursor.requery());
    ASSERT_TRUE(cursor.addNew(fileValues(QStringLiteral("abc.txt"), 12)));
    const auto rows = tableRows(path, QStringLiteral("fileInf"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], QStringList({"abc.txt", "t", "12", "2024-01-02 03:04:05", "abc.txt", "<null>"}));
}

TEST(TableCursor, EmptyTableIsAtEndAndTheDeleteWalkDoesNothing)
{
    TempDir dir;
    RecordStore store(dir.file(QStringLiteral("db1.mdb")));
    ASSERT_TRUE(store.open(kBoth));
    TableCursor cursor(store, QStringLiteral("log"));
    ASSERT_TRUE(cursor.requery());
    EXPECT_TRUE(cursor.eof());
    EXPECT_TRUE(cursor.deleteAll());
    EXPECT_TRUE(cursor.eof());
    EXPECT_FALSE(cursor.deleteCurrent());
}

TEST(TableCursor, RecordsComeBackInInsertionOrderAndTheWalkDeletesThemAll)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("db1.mdb"));
    RecordStore store(path);
    ASSERT_TRUE(store.open(kBoth));
    TableCursor log(store, QStringLiteral("log"));
    ASSERT_TRUE(log.requery());
    for (const char* folder : {"z", "a", "m"})
        ASSERT_TRUE(log.addNew({QString::fromLatin1(folder), QStringLiteral("2024-01-01 00:00:00")}));
    ASSERT_TRUE(log.requery());
    const auto contents = store.read(QStringLiteral("log"));
    ASSERT_TRUE(contents);
    ASSERT_EQ(contents->rows.size(), 3u);
    EXPECT_EQ(contents->rows[0][0].toString(), "z");
    EXPECT_EQ(contents->rows[1][0].toString(), "a");
    EXPECT_EQ(contents->rows[2][0].toString(), "m");
    EXPECT_EQ(contents->fields, QStringList({"FolderPath", "RecordTime"}));

    // Delete the current record, move to the next: the whole table goes.
    log.moveFirst();
    int deleted = 0;
    while (!log.eof()) {
        ASSERT_TRUE(log.deleteCurrent());
        ++deleted;
        log.moveNext();
    }
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(store.count(QStringLiteral("log")), 0);
}

TEST(TableCursor, TwoConnectionsSeeEachOthersChangesOnlyWhenReRead)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("db1.mdb"));
    RecordStore a(path);
    RecordStore b(path);
    ASSERT_TRUE(a.open(kBoth));
    ASSERT_TRUE(b.open({QStringLiteral("log")}));
    EXPECT_NE(a.connectionName(), b.connectionName());
    TableCursor logA(a, QStringLiteral("log"));
    TableCursor logB(b, QStringLiteral("log"));
    ASSERT_TRUE(logA.requery());
    ASSERT_TRUE(logB.requery());
    ASSERT_TRUE(addLogRecord(logA, QStringLiteral("one"), QDateTime::currentDateTime()));
    ASSERT_TRUE(addLogRecord(logA, QStringLiteral("two"), QDateTime::currentDateTime()));
    EXPECT_FALSE(logA.eof());
    EXPECT_TRUE(logB.eof());  // not re-read yet
    ASSERT_TRUE(logB.requery());
    EXPECT_FALSE(logB.eof());
    // B deletes its first record; A still stands on it and knows both.
    ASSERT_TRUE(logB.deleteCurrent());
    EXPECT_EQ(tableRows(path, QStringLiteral("log")).size(), 1u);
    EXPECT_EQ(tableRows(path, QStringLiteral("log"))[0][0], "two");
    EXPECT_EQ(logA.field(QStringLiteral("FolderPath")), std::nullopt);  // gone under it
    ASSERT_TRUE(logA.requery());
    EXPECT_EQ(logA.field(QStringLiteral("folderpath"))->toString(), "two");
}

TEST(TableCursor, FindWalksMatchesInTableOrderWithInclusiveBounds)
{
    TempDir dir;
    RecordStore store(dir.file(QStringLiteral("db1.mdb")));
    ASSERT_TRUE(store.open(kBoth));
    TableCursor files(store, QStringLiteral("fileInf"));
    ASSERT_TRUE(files.requery());
    const std::vector<std::pair<QString, QVariant>> records = {
        {"a", 10}, {"b", 20}, {"c", 30}, {"d", QVariant()}, {"e", 25}, {"f", qint64(5000000000LL)}};
    for (const auto& [name, size] : records)
        ASSERT_TRUE(files.addNew(fileValues(name, size)));

    const auto names = [&](double lo, double hi) {
        QStringList found;
        if (!files.findFirst(lo, hi))
            return QStringList({"<error>"});
        while (!files.noMatch()) {
            found << files.field(QStringLiteral("FileName"))->toString();
            if (!files.findNext(lo, hi))
                return QStringList({"<error>"});
        }
        return found;
    };
    EXPECT_EQ(names(20, 30), QStringList({"b", "c", "e"}));
    EXPECT_EQ(names(-5, 10), QStringList({"a"}));
    EXPECT_EQ(names(10.5, 19.99), QStringList());
    EXPECT_EQ(names(4.5e9, 5.5e9), QStringList({"f"}));  // beyond 32 bits
    // A failed search leaves the cursor where it was.
    ASSERT_TRUE(files.findFirst(30, 30));
    ASSERT_FALSE(files.noMatch());
    ASSERT_TRUE(files.findNext(30, 30));
    EXPECT_TRUE(files.noMatch());
    EXPECT_EQ(files.field(QStringLiteral("FILENAME"))->toString(), "c");
    EXPECT_EQ(files.field(QStringLiteral("nosuchfield")), std::nullopt);
}

TEST(TableCursor, ARunIsStoredInOneTransaction)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("db1.mdb"));
    // A table that refuses records without a name: those are dropped alone.
    ASSERT_TRUE(execOn(path, {"CREATE TABLE fileInf (FileName TEXT NOT NULL, FileType, filesize, LastModified, "
                              "ShortName)",
                              "CREATE TABLE log (FolderPath, RecordTime)"}));
    RecordStore store(path);
    ASSERT_TRUE(store.open(kBoth));
    TableCursor files(store, QStringLiteral("fileInf"));
    ASSERT_TRUE(files.requery());
    auto r = files.addAll({fileValues("a", 1), {QVariant(), "t", 2, QVariant(), QVariant()}, fileValues("c", 3)});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.stored, 2);
    EXPECT_EQ(r.dropped, 1);
    EXPECT_EQ(tableRows(path, "fileInf").size(), 2u);

    // The store itself fails part-way (it is full): nothing of the run stays.
    {
        QSqlQuery q(store.database());
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
        const int pages = q.value(0).toInt();
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 2)));
    }
    std::vector<QVariantList> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back(fileValues(QStringLiteral("a-long-name-that-fills-pages-%1.txt").arg(i), i));
    r = files.addAll(many);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(tableRows(path, "fileInf").size(), 2u);
    // The connection is usable again afterwards.
    EXPECT_TRUE(files.addNew(fileValues("d", 4)));
    EXPECT_EQ(tableRows(path, "fileInf").size(), 3u);
}

TEST(RecordStore, PathsWithUrlCharactersOpenTheRightFile)
{
    TempDir dir;
    const QString folder = dir.mkdir(QStringLiteral("a#b?c %41 文件"));
    const QString path = folder + QStringLiteral("/db1.mdb");
    {
        RecordStore store(path);
        ASSERT_TRUE(store.open(kBoth)) << store.errorText().toStdString();
        TableCursor log(store, QStringLiteral("log"));
        ASSERT_TRUE(log.requery());
        ASSERT_TRUE(addLogRecord(log, QStringLiteral("x"), QDateTime::currentDateTime()));
    }
    EXPECT_EQ(folderEntries(folder), QStringList({"db1.mdb"}));
    RecordStore again(path);  // the existing file, opened as it is
    ASSERT_TRUE(again.open(kBoth));
    EXPECT_EQ(again.count(QStringLiteral("log")), 1);
    EXPECT_EQ(folderEntries(dir.path()), QStringList({"a#b?c %41 文件"}));
}

TEST(RecordStore, AFileThatCannotBeMadeIsReported)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("no/such/folder/db1.mdb"));
    RecordStore store(path);
    EXPECT_FALSE(store.open(kBoth));
    EXPECT_EQ(store.status(), RecordStore::Status::CannotCreate);
    EXPECT_TRUE(store.errorText().contains(path));
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());

    // A dangling link is not replaced by a new database.
    const QString link = dir.file(QStringLiteral("db1.mdb"));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("missing-target")), link));
    RecordStore linked(link);
    EXPECT_FALSE(linked.open(kBoth));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("missing-target"))));
}

TEST(RecordStore, NeverOpensADatabaseThroughALink)
{
    TempDir dir;
    const QString victim = dir.file(QStringLiteral("theirs.mdb"));
    {
        RecordStore theirs(victim);
        ASSERT_TRUE(theirs.open(kBoth));
    }
    const QByteArray before = test::readBytes(victim);
    const QString link = dir.file(QStringLiteral("db1.mdb"));
    ASSERT_TRUE(QFile::link(victim, link));
    RecordStore linked(link);
    EXPECT_FALSE(linked.open(kBoth));
    EXPECT_EQ(linked.status(), RecordStore::Status::CannotOpen);
    EXPECT_TRUE(linked.errorText().contains(link));
    EXPECT_EQ(test::readBytes(victim), before);
}

TEST(RecordStore, IsUsedOnlyOnTheThreadThatOpenedIt)
{
    TempDir dir;
    RecordStore store(dir.file(QStringLiteral("db1.mdb")));
    ASSERT_TRUE(store.open(kBoth)) << store.errorText().toStdString();
    TableCursor files(store, QStringLiteral("fileInf"));
    ASSERT_TRUE(files.requery());
    TableAppender appender(files);
    ASSERT_TRUE(appender.begin()) << appender.error().toStdString();

    bool ownThread = true;
    bool valid = true;
    bool readable = true;
    TableAppender::Added added = TableAppender::Added::Stored;
    QString error;
    std::thread other([&] {
        ownThread = store.onOwnThread();
        valid = store.database().isValid();
        readable = store.read(QStringLiteral("fileInf")).has_value();
        appender.bindText(0, QStringLiteral("elsewhere.txt"));
        added = appender.add();
        error = appender.error();
    });
    other.join();
    EXPECT_FALSE(ownThread);
    EXPECT_FALSE(valid);
    EXPECT_FALSE(readable);
    EXPECT_EQ(added, TableAppender::Added::Failed);
    EXPECT_EQ(error, QStringLiteral("数据库连接只能由打开它的线程使用"));

    // On its own thread the same appender goes on: only its record is kept.
    appender.bindText(0, QStringLiteral("here.txt"));
    EXPECT_EQ(appender.add(), TableAppender::Added::Stored);
    EXPECT_TRUE(appender.commit().ok);
    const std::optional<TableContents> rows = store.read(QStringLiteral("fileInf"));
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->rows.size(), 1u);
    EXPECT_EQ(rows->rows[0][0].toString(), QStringLiteral("here.txt"));
}
