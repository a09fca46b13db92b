// Recording a folder of 100,000 files into db1.mdb, next to the sqlite3
// command-line tool importing the same rows from CSV into an empty table of
// the same shape. Median of 5 runs each.

#include "benchutil.h"

#include "records/recorder.h"
#include "records/recordstore.h"
#include "shell/fso.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const int runs = 5;

    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    generateTree(tree, files, 1);
    const QString folder = tree + QStringLiteral("/d000/s00000");
    if (QDir(folder).entryList(QDir::Files).size() != files) {
        std::fprintf(stderr, "the generated folder does not hold %d files\n", files);
        return 1;
    }

    const QString db = work.filePath(QStringLiteral("db1.mdb"));
    const FileSystemObject fso;
    std::vector<double> ours;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(db);
        RecordStore store(db);
        if (!store.open({QStringLiteral("fileInf"), QStringLiteral("log")})) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
            return 1;
        }
        TableCursor cursor(store, QStringLiteral("fileInf"));
        cursor.requery();
        RecordRun run;
        ours.push_back(timeSeconds([&] { run = recordFolder(fso, folder, cursor); }));
        if (run.outcome != RecordRun::Outcome::Recorded || run.stored != files) {
            std::fprintf(stderr, "recording failed: %s\n", qPrintable(run.error));
            return 1;
        }
    }

    // The same rows as CSV, taken from the last recording.
    const QString csv = work.filePath(QStringLiteral("rows.csv"));
    if (timeCommand(QStringLiteral("sqlite3 -csv %1 'SELECT * FROM fileInf' > %2").arg(shellQuote(db), shellQuote(csv))) < 0) {
        std::fprintf(stderr, "sqlite3 could not export the rows\n");
        return 1;
    }
    const QString ref = work.filePath(QStringLiteral("ref.db"));
    const QString import =
        QStringLiteral("sqlite3 %1 'CREATE TABLE fileInf (FileName TEXT, FileType TEXT, filesize INTEGER, "
                       "LastModified DATETIME, ShortName TEXT)' '.mode csv' '.import %2 fileInf'")
            .arg(shellQuote(ref), csv);
    std::vector<double> reference;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(ref);
        const double t = timeCommand(import);
        if (t < 0) {
            std::fprintf(stderr, "sqlite3 import failed\n");
            return 1;
        }
        reference.push_back(t);
    }
    report(QStringLiteral("record %1 files").arg(files), median(ours), median(reference));
    return 0;
}
