// Recording a folder of 100,000 files into db1.mdb, against two references:
//  - the same job done by standard tools: find lists the folder with the five
//    fields of a record (name, empty type, size, local date, name) and the
//    sqlite3 tool imports them into db1.mdb's fileInf;
//  - the earlier anchor: sqlite3 importing the recorded rows from a CSV file
//    (no files stat'ed, no names made).
// The three are run in turn, 5 times each, on the same folder; medians.
//
// bench_records [FILES [FOLDER]]: with FOLDER, the folder is kept there and
// reused when it already holds FILES files (generating it takes minutes on
// a busy machine).

#include "benchutil.h"

#include "core/records/recorder.h"
#include "core/records/recordstore.h"
#include "core/fs/fso.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::bench;

namespace {

bool freshStore(const QString& db)
{
    QFile::remove(db);
    RecordStore store(db);
    if (!store.open({QStringLiteral("fileInf"), QStringLiteral("log")})) {
        std::fprintf(stderr, "%s\n", qPrintable(store.errorText()));
        return false;
    }
    return true;
}

}  // namespace

namespace {
const char kUsage[] =
    "usage: bench_records [FILES [FOLDER]]\n"
    "Records a folder of FILES files (100,000) into db1.mdb against find | sqlite3.\n"
    "FOLDER keeps the generated folder and reuses it when it holds FILES files.\n";
}  // namespace

int main(int argc, char** argv)
{
    const BenchArguments args = readBenchArguments(argc, argv, kUsage, 2);
    QCoreApplication app(argc, argv);
    const int files = countArgument(args, 0, 100000, kUsage);
    const int runs = 5;

    QTemporaryDir work;
    const QString tree = args.positional.size() > 1 ? args.positional.at(1) : work.filePath(QStringLiteral("tree"));
    const QString folder = tree + QStringLiteral("/d000/s00000");
    if (QDir(folder).entryList(QDir::Files).size() != files) {
        QDir(tree).removeRecursively();
        generateTree(tree, files, 1);
    }
    if (QDir(folder).entryList(QDir::Files).size() != files) {
        std::fprintf(stderr, "the generated folder does not hold %d files\n", files);
        return 1;
    }

    const QString db = work.filePath(QStringLiteral("db1.mdb"));
    const QString ref = work.filePath(QStringLiteral("ref.db"));
    const QString csv = work.filePath(QStringLiteral("rows.csv"));
    // TZ is set so that find reads the zone file once, not for every file.
    const QString pipeline =
        QStringLiteral("TZ=:/etc/localtime find %1 -maxdepth 1 -type f -printf "
                       "'%f,,%s,%TY-%Tm-%Td %TH:%TM:%.2TS,%f\\n' | sqlite3 -csv %2 '.import /dev/stdin fileInf'")
            .arg(shellQuote(folder), shellQuote(db));
    const QString import =
        QStringLiteral("sqlite3 %1 'CREATE TABLE fileInf (FileName TEXT, FileType TEXT, filesize INTEGER, "
                       "LastModified DATETIME, ShortName TEXT)' '.mode csv' '.import %2 fileInf'")
            .arg(shellQuote(ref), shellQuote(csv));

    const FileSystemObject fso;
    std::vector<double> ours;
    std::vector<double> tools;
    std::vector<double> anchor;
    std::vector<double> oursCpu;
    std::vector<double> toolsCpu;
    std::vector<double> anchorCpu;
    for (int i = 0; i < runs; ++i) {
        if (!freshStore(db))
            return 1;
        {
            RecordStore store(db);
            store.open({QStringLiteral("fileInf"), QStringLiteral("log")});
            TableCursor cursor(store, QStringLiteral("fileInf"));
            cursor.requery();
            RecordRun run;
            const double cpu = cpuSeconds();
            ours.push_back(timeSeconds([&] { run = recordFolder(fso, folder, cursor); }));
            oursCpu.push_back(cpuSeconds() - cpu);
            if (run.outcome != RecordRun::Outcome::Recorded || run.stored != files) {
                std::fprintf(stderr, "recording failed: %s\n", qPrintable(run.error));
                return 1;
            }
        }
        if (i == 0 &&
            timeCommand(QStringLiteral("sqlite3 -csv %1 'SELECT * FROM fileInf' > %2").arg(shellQuote(db), shellQuote(csv))) <
                0) {
            std::fprintf(stderr, "sqlite3 could not export the rows\n");
            return 1;
        }

        if (!freshStore(db))
            return 1;
        double cpu = childCpuSeconds();
        const double t = timeCommand(pipeline);
        toolsCpu.push_back(childCpuSeconds() - cpu);
        if (t < 0) {
            std::fprintf(stderr, "the find | sqlite3 pipeline failed\n");
            return 1;
        }
        tools.push_back(t);

        QFile::remove(ref);
        cpu = childCpuSeconds();
        const double a = timeCommand(import);
        anchorCpu.push_back(childCpuSeconds() - cpu);
        if (a < 0) {
            std::fprintf(stderr, "sqlite3 import failed\n");
            return 1;
        }
        anchor.push_back(a);
    }
    report(QStringLiteral("record %1 files vs find | sqlite3").arg(files), median(ours), median(tools));
    report(QStringLiteral("record %1 files vs sqlite3 import").arg(files), median(ours), median(anchor));
    std::printf("processor time (user + system), medians:\n");
    report(QStringLiteral("  cpu vs find | sqlite3"), median(oursCpu), median(toolsCpu));
    report(QStringLiteral("  cpu vs sqlite3 import"), median(oursCpu), median(anchorCpu));
    return 0;
}
