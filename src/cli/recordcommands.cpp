// record, query, log: the file information recorder and its log.

#include "cli/command.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/fs/fsnames.h"
#include "core/fs/programfolder.h"
#include "core/records/exactnames.h"
#include "core/records/recorder.h"
#include "core/records/recordstore.h"
#include "core/records/sizequery.h"

#include <QDateTime>
#include <QDir>

namespace kestrune::cli {

namespace {

// db1.mdb in the data folder, opened as the recorder opens it.
std::unique_ptr<RecordStore> openRecords()
{
    auto store = std::make_unique<RecordStore>(dataFile(QStringLiteral("db1.mdb")));
    if (!store->open({QString::fromLatin1(kFileInfTable), QString::fromLatin1(kLogTable)})) {
        message(store->errorText());
        return nullptr;
    }
    return store;
}

QString absolutePath(const QString& path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return QDir::cleanPath(currentFolderPath() + QLatin1Char('/') + path);
}

}  // namespace

int recordCommand(Session& session, const Parsed& p)
{
    if (p.args.value(0).isEmpty())
        return usageError(QStringLiteral("没有输入要记录路径!"));
    // The log keeps the folder as a path that means the same later.
    const QString path = absolutePath(p.args.value(0));
    std::unique_ptr<RecordStore> store = openRecords();
    if (!store)
        return kExitFailed;
    const QString database = store->path();
    const int code = runBatch<RecordRun>(
        session,
        [database, path](ProgressSink& progress) {
            RecordStore own(database);
            if (!own.open({QString::fromLatin1(kFileInfTable)})) {
                RecordRun failed;
                failed.outcome = RecordRun::Outcome::StoreFailed;
                failed.error = own.errorText();
                return failed;
            }
            TableCursor fileInf(own, QString::fromLatin1(kFileInfTable));
            const FileSystemObject fso;
            return recordFolder(fso, path, fileInf, 0, &progress);
        },
        [&store, path](RecordRun run) {
            switch (run.outcome) {
            case RecordRun::Outcome::Cancelled:
                message(cancelledText(run.handled) + QStringLiteral("\n本次没有保存任何记录。"));
                return kExitFailed;
            case RecordRun::Outcome::NoFiles:
                // The window passes over such a folder silently; a script
                // is told why nothing was logged.
                message(QStringLiteral("该目录中没有文件,没有记录任何文件信息。"));
                return kExitOk;
            case RecordRun::Outcome::NoFolder:
                message(QStringLiteral("指定的目录不存在!"));
                return kExitFailed;
            case RecordRun::Outcome::ListFailed:
                message(QStringLiteral("无法读取目录 %1：%2").arg(displayFileNameInLine(path), run.error));
                return kExitFailed;
            case RecordRun::Outcome::StoreFailed:
                message(QStringLiteral("文件信息未能写入数据库（%1），本次没有保存任何记录。").arg(run.error));
                return kExitFailed;
            case RecordRun::Outcome::Recorded:
                break;
            }
            message(QStringLiteral("该目录文件信息记录完毕!"));
            // Files recorded without their size and date, or not at all,
            // are named as the window names them.
            if (!run.failures.isEmpty())
                message(failureMessage(recordFailureHeading(), run.failures));
            TableCursor log(*store, QString::fromLatin1(kLogTable));
            log.requery();
            if (!addLogRecord(log, path, QDateTime::currentDateTime())) {
                message(QStringLiteral("日志记录未能写入数据库（%1）。").arg(log.lastError()));
                return kExitFailed;
            }
            return run.failures.isEmpty() ? kExitOk : kExitFailed;
        });
    return code;
}

namespace {

// A number option: the text as the window's box would read it.
std::optional<QString> numberOption(const Parsed& p, const char* option, const QString& fallback)
{
    const QString text = p.value(option).value_or(fallback);
    bool ok = false;
    text.trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace

int queryCommand(Session&, const Parsed& p)
{
    if (!p.value("--size"))
        return usageError(QStringLiteral("请用 --size 给出文件大小"));
    const std::optional<QString> size = numberOption(p, "--size", QString());
    const std::optional<QString> range = numberOption(p, "--range", QStringLiteral("1"));
    if (!size || !range)
        return usageError(QStringLiteral("--size 和 --range 须为数字"));
    const QString unit = p.value("--unit").value_or(QStringLiteral("MB")).toUpper();
    int unitIndex = -1;
    if (unit == QLatin1String("MB"))
        unitIndex = 0;
    else if (unit == QLatin1String("KB"))
        unitIndex = 1;
    else if (unit == QLatin1String("B") || unit == QLatin1String("BYTE"))
        unitIndex = 2;
    if (unitIndex < 0)
        return usageError(QStringLiteral("--unit 须为 B、KB 或 MB"));
    std::unique_ptr<RecordStore> store = openRecords();
    if (!store)
        return kExitFailed;
    // The loop of "查询": every recorded file in table order whose size lies
    // in the range.
    const SizeRange bounds = sizeRange(*size, *range, unitIndex);
    TableCursor fileInf(*store, QString::fromLatin1(kFileInfTable));
    fileInf.requery();
    if (!bounds.valid() || !fileInf.findFirst(bounds.lower, bounds.upper)) {
        message(QStringLiteral("没有记录"));
        return kExitFailed;
    }
    if (fileInf.noMatch()) {
        message(QStringLiteral("没有记录!"));
        return kExitOk;
    }
    // The name field holds the name as the window shows it; a name that is
    // not UTF-8 is printed in its exact bytes.
    const ExactNames exact(*store, QString::fromLatin1(kFileInfTable));
    while (!fileInf.noMatch()) {
        const std::optional<QVariant> name = fileInf.field(QStringLiteral("FileName"));
        if (!name) {
            message(QStringLiteral("没有记录"));
            return kExitFailed;
        }
        resultBytes(exact.bytes(fileInf.currentId(), name->toString()));
        if (!fileInf.findNext(bounds.lower, bounds.upper)) {
            message(QStringLiteral("没有记录"));
            return kExitFailed;
        }
    }
    return kExitOk;
}

int logCommand(Session&, const Parsed& p)
{
    std::unique_ptr<RecordStore> store = openRecords();
    if (!store)
        return kExitFailed;
    if (p.has("--clear")) {
        TableCursor log(*store, QString::fromLatin1(kLogTable));
        log.requery();
        if (log.eof()) {
            message(QStringLiteral("没有记录!"));
            return kExitOk;
        }
        log.moveFirst();
        if (!log.deleteAll()) {
            message(QStringLiteral("清空日志失败（%1），日志未被删除。").arg(log.lastError()));
            return kExitFailed;
        }
        message(QStringLiteral("已清空日志信息"));
        return kExitOk;
    }
    const std::optional<TableContents> contents = store->read(QString::fromLatin1(kLogTable));
    if (!contents) {
        message(QStringLiteral("无法读取日志"));
        return kExitFailed;
    }
    // The folder (the first field) in its exact bytes, the rest readable.
    const ExactNames exact(*store, QString::fromLatin1(kLogTable));
    for (size_t r = 0; r < contents->rows.size(); ++r) {
        QByteArray line;
        for (qsizetype i = 0; i < contents->rows[r].size(); ++i) {
            const QVariant& v = contents->rows[r][i];
            const QString text = v.isValid() ? v.toString() : QString();
            if (i > 0)
                line += '\t';
            line += i == 0 ? exact.bytes(contents->ids[r], text) : displayFileName(text).toUtf8();
        }
        resultBytes(line);
    }
    return kExitOk;
}

}  // namespace kestrune::cli
