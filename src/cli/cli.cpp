#include "cli/cli.h"

#include "core/system/quitsignals.h"
#include "core/devtools/decompilebatch.h"
#include "core/devtools/programlaunch.h"
#include "core/devtools/registration.h"
#include "core/devtools/worklist.h"
#include "core/documents/dwgpreview.h"
#include "core/documents/dwgview.h"
#include "core/documents/wordrun.h"
#include "core/duplicates/duplicatesearch.h"
#include "core/filemanager/batchwalk.h"
#include "core/records/recorder.h"
#include "core/records/recordstore.h"
#include "core/records/sizequery.h"
#include "core/batch/batchrunner.h"
#include "core/fs/fsnames.h"
#include "core/fs/fso.h"
#include "core/fs/programfolder.h"
#include "core/system/textcodec.h"
#include "core/system/textutil.h"
#include "core/fs/trash.h"
#include "version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include <unistd.h>

namespace kestrune {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// ---------------------------------------------------------------------------
// The commands and their options

struct CommandInfo {
    const char* name;
    QStringList flags;   // options without a value
    QStringList values;  // options with one value
    QStringList lists;   // options followed by one or more values
    int minArgs;
    int maxArgs;  // -1: any number
    const char* usage;
    const char* help;
};

const std::vector<CommandInfo>& commands()
{
    static const QStringList fileFlags{QStringLiteral("--no-subfolders"), QStringLiteral("--no-overwrite")};
    static const QStringList fileValues{QStringLiteral("--types"), QStringLiteral("--pattern")};
    static const std::vector<CommandInfo> infos{
        {"copy", fileFlags, fileValues, {}, 2, 2,
         "copy (--types \"chm;doc\" | --pattern \"*.txt\") [--no-subfolders] [--no-overwrite] SOURCE DESTINATION",
         "复制源目录(及其子文件夹)中所选类型的文件到目标目录,同文件批量管理的\"复制\"。\n"
         "  --types LIST     按扩展名过滤,以分号分隔(\"一次操作多种类型的文件\")\n"
         "  --pattern PAT    按类型过滤,如 \"*.txt\";\"*.*\" 取所有文件\n"
         "  --no-subfolders  不包含子文件夹\n"
         "  --no-overwrite   不覆盖目标中已有的文件\n"
         "标准输出列出每个已复制的源文件。"},
        {"move", {QStringLiteral("--no-subfolders")}, fileValues, {}, 2, 2,
         "move (--types LIST | --pattern PAT) [--no-subfolders] SOURCE DESTINATION",
         "移动文件到目标目录(从不替换已有的文件),同文件批量管理的\"移动\"。\n"
         "标准输出列出每个已移动的源文件。"},
        {"delete", {QStringLiteral("--no-subfolders"), QStringLiteral("--force"), QStringLiteral("--trash"),
                    QStringLiteral("--no-trash")}, fileValues, {}, 1, 1,
         "delete (--types LIST | --pattern PAT) [--no-subfolders] [--force] [--trash | --no-trash] SOURCE",
         "删除所选类型的文件,同文件批量管理的\"删除\";--force 同\"强制删除\"(也删除只读文件)。\n"
         "主菜单\"删除时移到回收站\"打开时文件移到回收站,否则永久删除;--trash / --no-trash 只为这一次选择。\n"
         "标准输出列出每个已删除的文件。"},
        {"dupes", {QStringLiteral("--delete"), QStringLiteral("--trash"), QStringLiteral("--no-trash")}, {},
         {QStringLiteral("--names"), QStringLiteral("--in")}, 0, 0,
         "dupes [--delete [--trash | --no-trash]] --names FILE_OR_FOLDER... --in FOLDER...",
         "查找被查找的文件夹(及其子文件夹)中与所列文件同名(不分大小写)的文件,同重复文件批量删除的\"开始查找\";\n"
         "按窗口的顺序列出找到的路径,每行一个。--names 的文件夹同\"添加目录到列表\"。\n"
         "  --delete  删除找到的全部文件,同\"删除全部\"(回收站的选择同 delete)"},
        {"record", {}, {}, {}, 1, 1, "record FOLDER",
         "记录目录中每个文件的名称、类型、大小、日期和短文件名到 db1.mdb,并写一条日志,同文件信息记录的\"记录\"。"},
        {"query", {}, {QStringLiteral("--size"), QStringLiteral("--unit"), QStringLiteral("--range")}, {}, 0, 0,
         "query --size N [--unit B|KB|MB] [--range N]",
         "列出已记录的大小在 N±差值 之内的文件名,同\"查询\"。单位默认 MB,差值默认 1。"},
        {"log", {QStringLiteral("--clear")}, {}, {}, 0, 0, "log [--clear]",
         "列出运行日志(目录和时间,以制表符分隔);--clear 清空日志,同日志窗口的\"清空\"。"},
        {"decompile", {QStringLiteral("--no-subfolders"), QStringLiteral("--no-hhp")}, {}, {}, 2, 2,
         "decompile [--no-subfolders] [--no-hhp] SOURCE DESTINATION",
         "反编译源目录(及其子文件夹)中所有chm文件到目标目录,同chm文件批量反编译;\n"
         "--no-hhp 不生成hhp文件。标准输出列出每个已反编译的输出文件夹。"},
        {"register", {}, {}, {}, 1, -1, "register FOLDER_OR_LIBRARY...",
         "用 wine regsvr32 /s 注册文件夹中(不含子文件夹)所有dll和ocx文件,或所列的库文件,同ocx,dll批量注册。"},
        {"compile", {}, {QStringLiteral("--compiler")}, {}, 1, -1, "compile [--compiler PATH] PROJECT_OR_FOLDER...",
         "对每个工程启动一次编译器(/MAKE 工程),同批量编译VB6工程;文件夹取其中所有 *vbp 文件。\n"
         "编译器启动后独立运行。标准输出列出每个已启动编译的工程。"},
        {"word", {}, {QStringLiteral("--passwords-from")}, {}, 1, -1,
         "word [--passwords-from FILE] DOCUMENT_OR_FOLDER...",
         "设置Word文档的读密码和写密码,同批量加密Word文档;文件夹取其中所有 *doc 文件。\n"
         "  --passwords-from FILE  第一行为读密码,第二行为写密码(\"-\" 从标准输入读);空值去除该密码。\n"
         "  不给出时使用窗口的初始密码 739 和 5917。标准输出列出每个已完成的文档。"},
        {"dwg", {}, {QStringLiteral("--bmp"), QStringLiteral("--png")}, {}, 1, 1, "dwg FILE (--bmp OUT | --png OUT)",
         "把图纸中的预览图写成BMP文件(同\"另存为BMP文件\")或PNG文件。"},
    };
    return infos;
}

const CommandInfo* findCommand(const QByteArray& name)
{
    for (const CommandInfo& info : commands())
        if (name == info.name)
            return &info;
    return nullptr;
}

const QStringList& commonFlags()
{
    static const QStringList flags{QStringLiteral("-0"), QStringLiteral("--null"), QStringLiteral("-h"),
                                   QStringLiteral("--help")};
    return flags;
}

struct Parsed {
    QStringList args;
    QSet<QString> flags;
    QHash<QString, QString> values;
    QHash<QString, QStringList> lists;
    bool has(const char* option) const { return flags.contains(QLatin1String(option)); }
    std::optional<QString> value(const char* option) const
    {
        const auto it = values.constFind(QLatin1String(option));
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
};

// ---------------------------------------------------------------------------
// Output

std::mutex g_outMutex;
bool g_null = false;

void writeStream(FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

bool progressShown();
void clearProgressLine();

// One result on standard output: a name in its exact bytes.
void result(const QString& path)
{
    QByteArray bytes = encodeFileName(path);
    bytes.append(g_null ? '\0' : '\n');
    std::lock_guard<std::mutex> lock(g_outMutex);
    clearProgressLine();  // both may be the same terminal
    writeStream(stdout, bytes);
}

// A message on standard error, each of its lines on a line of its own.
void message(const QString& text)
{
    QByteArray bytes;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        bytes += "kestrune: " + line.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(g_outMutex);
    clearProgressLine();
    std::fflush(stdout);
    writeStream(stderr, bytes);
}

// A file that failed: its name (shown readably, on one line) and why.
void failure(const QString& what, const QString& path, const QString& why)
{
    message(what + QLatin1Char(' ') + displayFileNameInLine(path) + (why.isEmpty() ? QString() : QStringLiteral("：") + why));
}

int usageError(const QString& text)
{
    message(text);
    message(QStringLiteral("用法见 kestrune help"));
    return kExitUsage;
}

// ---------------------------------------------------------------------------
// Progress on a terminal, cancel by signal

bool g_progressLine = false;

bool progressShown()
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    return terminal;
}

void clearProgressLine()
{
    if (g_progressLine) {
        std::fputs("\r\033[K", stderr);
        g_progressLine = false;
    }
}

// Runs one command's work in the event loop: `cancel` is what SIGINT and
// SIGTERM do (as "取消"), `progress` what a terminal is shown.
class Session {
public:
    explicit Session(QCoreApplication& app) : m_app(app)
    {
        m_signals = std::make_unique<QuitSignals>([this] {
            m_cancelled = true;
            if (m_cancel)
                m_cancel();
        });
        if (progressShown()) {
            m_timer.setInterval(250);
            QObject::connect(&m_timer, &QTimer::timeout, [this] { showProgress(); });
        }
    }

    void onCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }
    void watch(std::function<std::shared_ptr<ProgressSink>()> sink)
    {
        m_sink = std::move(sink);
        if (progressShown())
            m_timer.start();
    }
    // Runs the loop until finish().
    int exec()
    {
        const int code = m_app.exec();
        m_timer.stop();
        std::lock_guard<std::mutex> lock(g_outMutex);
        clearProgressLine();
        return code;
    }
    void finish(int code) { m_app.exit(cancelled() ? 128 + m_signals->signalReceived() : code); }
    bool cancelled() const { return m_cancelled; }

private:
    void showProgress()
    {
        const std::shared_ptr<ProgressSink> sink = m_sink ? m_sink() : nullptr;
        if (!sink)
            return;
        const ProgressSink::State state = sink->state();
        QString text = state.total > 0 ? QStringLiteral("%1/%2").arg(state.done).arg(state.total)
                                       : QString::number(state.done);
        if (state.itemTotal > 0)
            text += QStringLiteral(" (%1/%2 MB)").arg(state.itemDone >> 20).arg(state.itemTotal >> 20);
        text += QLatin1Char(' ') + displayFileNameInLine(state.doing);
        if (text.size() > 100)
            text = text.left(48) + QStringLiteral("…") + text.right(50);
        std::lock_guard<std::mutex> lock(g_outMutex);
        std::fputs("\r\033[K", stderr);
        writeStream(stderr, text.toUtf8());
        std::fflush(stderr);
        g_progressLine = true;
    }

    QCoreApplication& m_app;
    std::unique_ptr<QuitSignals> m_signals;
    std::function<void()> m_cancel;
    std::function<std::shared_ptr<ProgressSink>()> m_sink;
    QTimer m_timer;
    bool m_cancelled = false;
};

// Runs `job` as the windows run their batches (on a worker thread of a
// BatchRunner) and `done` with its result; returns the exit status.
template <typename Result>
int runBatch(Session& session, std::function<Result(ProgressSink&)> job, std::function<int(Result)> done)
{
    BatchRunner runner;
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QTimer::singleShot(0, &runner, [&] {
        runner.start<Result>(std::move(job), [&session, done](Result r) { session.finish(done(std::move(r))); });
    });
    return session.exec();
}

// ---------------------------------------------------------------------------
// Batch file manager

// Whether this run's deletes go to the trash: --trash or --no-trash, else
// the main menu's choice. Nothing when both are given.
std::optional<bool> trashChoice(const Parsed& p)
{
    if (p.has("--trash") && p.has("--no-trash"))
        return std::nullopt;
    if (p.has("--trash"))
        return true;
    if (p.has("--no-trash"))
        return false;
    return deleteToTrashSetting();
}

int fileCommand(Session& session, const Parsed& p, int operation)
{
    const std::optional<QString> types = p.value("--types");
    const std::optional<QString> pattern = p.value("--pattern");
    if (types && pattern)
        return usageError(QStringLiteral("--types 和 --pattern 只能给出一个"));
    if (!types && !pattern)
        return usageError(QStringLiteral("请用 --types 或 --pattern 指定文件类型(\"*.*\" 取所有文件)"));
    if (types && trimBlanks(*types).isEmpty())
        return usageError(QStringLiteral("已选中操作多种类型文件,但没有指定!"));

    // The checks of "开始", in its order and with its messages.
    const QString source = p.args.value(0);
    const FileSystemObject fso;
    if (source.isEmpty())
        return usageError(QStringLiteral("必须先指定源!"));
    if (trimBlanks(source).isEmpty() || !fso.FolderExists(source)) {
        message(QStringLiteral("指定的源目录不存在!"));
        return kExitFailed;
    }
    BatchInputs inputs;
    inputs.operation = operation;
    if (operation == kOpMove || operation == kOpCopy) {
        inputs.destination = p.args.value(1);
        if (trimBlanks(inputs.destination).isEmpty())
            return usageError(QStringLiteral("必须先指定目标!"));
        if (!fso.FolderExists(inputs.destination)) {
            message(QStringLiteral("指定的目标目录不存在!"));
            return kExitFailed;
        }
    }
    Folder root;
    try {
        root = fso.GetFolder(source);
    } catch (const FsError&) {
        message(QStringLiteral("指定的源目录不存在!"));
        return kExitFailed;
    }
    inputs.multiType = bool(types);
    inputs.typeList = types.value_or(QString());
    inputs.singleType = pattern.value_or(QString());
    inputs.overwrite = !p.has("--no-overwrite");
    if (operation == kOpDelete || operation == kOpForceDelete) {
        const std::optional<bool> toTrash = trashChoice(p);
        if (!toTrash)
            return usageError(QStringLiteral("--trash 和 --no-trash 只能选一个"));
        inputs.toTrash = *toTrash;
    }
    const bool recurse = !p.has("--no-subfolders");
    const QString verb = operation == kOpMove   ? QStringLiteral("无法移动")
                         : operation == kOpCopy ? QStringLiteral("无法复制")
                                                : QStringLiteral("无法删除");
    auto failures = std::make_shared<std::atomic<int>>(0);
    inputs.done = [](const QString& path) { result(path); };
    inputs.failed = [verb, failures](const QString& path, const QString& why) {
        ++*failures;
        failure(verb, path, why);
    };
    struct Outcome {
        int handled = 0;
        bool stopped = false;
    };
    return runBatch<Outcome>(
        session,
        [root = root.Path(), recurse, inputs](ProgressSink& progress) {
            Outcome outcome;
            outcome.handled = batchWalk(root, recurse, inputs, &progress, &outcome.stopped);
            return outcome;
        },
        [failures](Outcome outcome) {
            if (outcome.stopped) {
                message(cancelledText(outcome.handled));
                return kExitFailed;
            }
            return *failures > 0 ? kExitFailed : kExitOk;
        });
}

// ---------------------------------------------------------------------------
// Duplicate finder

int dupesCommand(Session& session, const Parsed& p)
{
    const QStringList names = p.lists.value(QStringLiteral("--names"));
    const QStringList in = p.lists.value(QStringLiteral("--in"));
    if (names.isEmpty())
        return usageError(QStringLiteral("要查找的文件列表为空,请先添加文件到列表!"));
    if (in.isEmpty())
        return usageError(QStringLiteral("被查找的文件夹列表为空,请先添加文件夹到列表!"));
    const bool remove = p.has("--delete");
    const std::optional<bool> toTrash = trashChoice(p);
    if (!toTrash)
        return usageError(QStringLiteral("--trash 和 --no-trash 只能选一个"));
    struct Outcome {
        DuplicateSearch::Outcome search;
        QStringList notDeleted;
        bool deleteCancelled = false;
        int deleted = 0;
    };
    return runBatch<Outcome>(
        session,
        [names, in, remove, trashing = *toTrash](ProgressSink& progress) {
            const FileSystemObject fso;
            // The two lists as the window builds them: typed entries once
            // each, a folder of names as "添加目录到列表" adds it.
            QStringList files;
            QStringList folders;
            for (const QString& entry : names) {
                if (trimBlanks(entry).isEmpty() || files.contains(entry))
                    continue;
                if (fso.FolderExists(entry)) {
                    try {
                        bool stopped = false;
                        fso.GetFolder(entry);  // one that cannot be opened is named
                        files += newPathsOfTree(entry, files, &progress, &stopped);
                        if (stopped)
                            break;
                    } catch (const FsError& e) {
                        failure(QStringLiteral("无法打开文件夹"), entry, e.message());
                    }
                    continue;
                }
                files << entry;
            }
            for (const QString& entry : in)
                if (!trimBlanks(entry).isEmpty() && !folders.contains(entry))
                    folders << entry;
            Outcome outcome;
            if (progress.stopped()) {
                outcome.search.cancelled = true;
                return outcome;
            }
            progress.setTotal(int(files.size()));
            DuplicateSearch search(fso);
            outcome.search = search.run(files, folders, &progress);
            for (const QString& path : std::as_const(outcome.search.found))
                result(path);
            if (!remove || outcome.search.cancelled)
                return outcome;
            // "删除全部": every entry found, each file once.
            progress.setTotal(int(outcome.search.found.size()));
            QSet<QString> seen;
            // Through the folders the search went, never through a link.
            SearchRoots roots;
            for (const QString& folder : std::as_const(folders))
                roots.add(folder);
            std::optional<TrashCan> trash;
            if (trashing)
                trash.emplace();
            for (const QString& path : std::as_const(outcome.search.found)) {
                if (!progress.step(outcome.deleted, path)) {
                    outcome.deleteCancelled = true;
                    break;
                }
                ++outcome.deleted;
                if (seen.contains(path))
                    continue;
                seen.insert(path);
                QString why;
                if (!deleteFoundFile(fso, roots, path, trash ? &*trash : nullptr, &why))
                    outcome.notDeleted << path + QLatin1Char('\t') + why;
            }
            return outcome;
        },
        [](Outcome outcome) {
            if (outcome.search.cancelled) {
                message(cancelledText(outcome.search.searched));
                return kExitFailed;
            }
            for (const QString& skipped : std::as_const(outcome.search.skipped))
                failure(QStringLiteral("无法打开"), skipped, QString());
            for (const QString& line : std::as_const(outcome.notDeleted))
                failure(QStringLiteral("无法删除"), line.section(QLatin1Char('\t'), 0, 0),
                        line.section(QLatin1Char('\t'), 1));
            if (outcome.deleteCancelled) {
                message(cancelledText(outcome.deleted));
                return kExitFailed;
            }
            return outcome.search.skipped.isEmpty() && outcome.notDeleted.isEmpty() ? kExitOk : kExitFailed;
        });
}

// ---------------------------------------------------------------------------
// Records

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

int recordCommand(Session& session, const Parsed& p)
{
    const QString path = p.args.value(0);
    if (path.isEmpty())
        return usageError(QStringLiteral("没有输入要记录路径!"));
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
            TableCursor log(*store, QString::fromLatin1(kLogTable));
            log.requery();
            if (!addLogRecord(log, path, QDateTime::currentDateTime())) {
                message(QStringLiteral("日志记录未能写入数据库（%1）。").arg(log.lastError()));
                return kExitFailed;
            }
            return kExitOk;
        });
    return code;
}

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

int queryCommand(const Parsed& p)
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
    while (!fileInf.noMatch()) {
        const std::optional<QVariant> name = fileInf.field(QStringLiteral("FileName"));
        if (!name) {
            message(QStringLiteral("没有记录"));
            return kExitFailed;
        }
        // The name field holds the name as shown.
        const QByteArray bytes = name->toString().toUtf8() + (g_null ? '\0' : '\n');
        writeStream(stdout, bytes);
        if (!fileInf.findNext(bounds.lower, bounds.upper)) {
            message(QStringLiteral("没有记录"));
            return kExitFailed;
        }
    }
    return kExitOk;
}

int logCommand(const Parsed& p)
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
    for (const QVariantList& row : contents->rows) {
        QStringList fields;
        for (const QVariant& v : row)
            fields << (v.isValid() ? v.toString() : QString());
        writeStream(stdout, fields.join(QLatin1Char('\t')).toUtf8() + (g_null ? '\0' : '\n'));
    }
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Help decompiler and library registration

int decompileCommand(Session& session, const Parsed& p)
{
    const QString destination = trimBlanks(p.args.value(1));
    if (destination.isEmpty())
        return usageError(QStringLiteral("请设定目标路径!"));
    const QString prefix = destinationPrefix(destination);
    const FileSystemObject fso;
    Folder source;
    try {
        if (!trimBlanks(p.args.value(0)).isEmpty())
            source = fso.GetFolder(p.args.value(0));
    } catch (const FsError&) {
    }
    if (source.Path().isEmpty()) {
        message(QStringLiteral("指定的源目录不存在!"));
        return kExitFailed;
    }
    const QString program = programFile(QStringLiteral("kestrune-hh"));
    if (!QFileInfo(program).isExecutable()) {
        message(QStringLiteral("找不到反编译程序 %1!").arg(program));
        return kExitFailed;
    }
    const bool recurse = !p.has("--no-subfolders");
    const bool writeProjects = !p.has("--no-hhp");

    // First the walk, as a batch; then the decompilers through the program
    // runner, as the window does.
    BatchRunner walker;
    std::unique_ptr<DecompileBatch> batch;
    std::vector<DecompileJob> jobs;
    session.onCancel([&] {
        walker.cancel();
        if (batch)
            batch->cancel();
    });
    session.watch([&]() -> std::shared_ptr<ProgressSink> {
        return batch ? batch->runner().progress() : walker.progress();
    });
    QTimer::singleShot(0, &walker, [&] {
        walker.start<HelpFiles>(
            [source = source.Path(), recurse, prefix](ProgressSink& progress) {
                return findHelpFiles(source, recurse, prefix, &progress);
            },
            [&](HelpFiles found) {
                if (found.stopped) {
                    message(QStringLiteral("反编译已取消!"));
                    session.finish(kExitFailed);
                    return;
                }
                jobs = found.jobs;
                batch = std::make_unique<DecompileBatch>(program, writeProjects, qMax(1, QThread::idealThreadCount()));
                for (DecompileJob& job : found.jobs)
                    batch->add(std::move(job));
                QObject::connect(batch.get(), &DecompileBatch::finished, [&] {
                    const bool cancelled = batch->cancelled();
                    if (!cancelled)
                        for (const DecompileJob& job : jobs)
                            if (!batch->failed(job.order))
                                result(job.outputFolder);
                    QString text = cancelled ? QStringLiteral("反编译已取消!") : QString();
                    const QStringList failed = batch->failures();
                    if (!failed.isEmpty())
                        text += QStringLiteral("\n以下文件反编译失败:\n") + failed.join(QLatin1Char('\n'));
                    const QStringList unlisted = batch->unlisted();
                    if (!unlisted.isEmpty())
                        text += QStringLiteral("\n以下文件的名称无法写入工程文件,未列入:\n") +
                                unlisted.join(QLatin1Char('\n'));
                    message(text);
                    session.finish(cancelled || !failed.isEmpty() ? kExitFailed : kExitOk);
                });
                batch->start();
            });
    });
    const int code = session.exec();
    batch.reset();
    return code;
}

int registerCommand(Session& session, const Parsed& p)
{
    const FileSystemObject fso;
    FolderRegistration run;
    QStringList libraries;  // files named on the command line
    for (const QString& arg : p.args) {
        if (fso.FolderExists(arg)) {
            try {
                const FolderRegistration found = prepareRegistration(fso.GetFolder(arg));
                run.libraries += found.libraries;
                run.paths += found.paths;
            } catch (const FsError& e) {
                failure(QStringLiteral("无法打开所选文件夹："), arg, e.message());
                return kExitFailed;
            }
        } else if (fso.FileExists(arg)) {
            run.libraries << arg;
            run.paths << arg;
        } else {
            message(QStringLiteral("指定的目录不存在!") + QLatin1Char(' ') + displayFileNameInLine(arg));
            return kExitFailed;
        }
    }
    if (run.paths.isEmpty()) {
        message(QStringLiteral("没有要注册的dll或ocx文件"));
        return kExitOk;
    }
    const QString wine = findWine();
    if (wine.isEmpty()) {
        message(QStringLiteral("运行Windows程序需要wine,请先安装wine!"));
        return kExitFailed;
    }
    const QString drive = wineRootDrive(winePrefix());
    for (const QString& path : std::as_const(run.paths))
        run.launches.push_back(registrationLaunch(wine, drive, path));

    ProgramRunner runner(QThread::idealThreadCount());
    addRegistrations(run, runner);
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QObject::connect(&runner, &ProgramRunner::allEnded, [&] {
        collectRegistrations(run, runner);
        for (size_t i = 0; i < run.ends.size(); ++i)
            if (run.ends[i] && run.ends[i]->end.ok())
                result(run.paths.value(int(i)));
        message(registrationMessage(QStringLiteral("全部dll或ocx文件注册完毕!"), run));
        session.finish(run.cancelled || !run.failures().isEmpty() ? kExitFailed : kExitOk);
    });
    QTimer::singleShot(0, &runner, [&runner] { runner.start(); });
    return session.exec();
}

// ---------------------------------------------------------------------------
// Work-list tools: project compiler, Word encryption

// The list as the window builds it: a typed path as it is, a folder as
// "添加目录到列表" adds it (files ending in `extension`).
bool buildWorkList(WorkList& list, const QStringList& args, const QString& extension)
{
    const FileSystemObject fso;
    for (const QString& arg : args) {
        if (fso.FolderExists(arg)) {
            try {
                list.addTree(fso.GetFolder(arg), extension);
            } catch (const FsError& e) {
                failure(QStringLiteral("无法打开文件夹"), arg, e.message());
                return false;
            }
        } else {
            list.addTyped(arg);
        }
    }
    return true;
}

int compileCommand(const Parsed& p)
{
    WorkList list;
    if (!buildWorkList(list, p.args, QStringLiteral("vbp")))
        return kExitFailed;
    if (list.count() == 0) {
        message(QStringLiteral("列表为空,请先添加工程文件到列表!"));
        return kExitFailed;
    }
    CompilerSetup compiler;
    const QString compilerText =
        p.value("--compiler").value_or(QStringLiteral("D:\\Program Files\\Microsoft Visual Studio\\VB98\\VB6.EXE"));
    if (const std::optional<QString> refused = prepareCompiler(compilerText, compiler)) {
        message(*refused);
        return kExitFailed;
    }
    int failed = 0;
    for (const QString& entry : list.entries()) {
        const QString project = trimBlanks(entry);
        if (const std::optional<QString> why = startCompile(compiler, project)) {
            failure(QStringLiteral("无法启动编译器:"), project, *why);
            ++failed;
        } else {
            result(project);
        }
    }
    return failed ? kExitFailed : kExitOk;
}

int wordCommand(Session& session, const Parsed& p)
{
    WordRunInputs inputs;
    inputs.password = QStringLiteral("739");
    inputs.writePassword = QStringLiteral("5917");
    if (const std::optional<QString> from = p.value("--passwords-from")) {
        QFile file;
        const bool opened = *from == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                        : (file.setFileName(*from), file.open(QIODevice::ReadOnly));
        if (!opened) {
            failure(QStringLiteral("无法读取密码文件"), *from, file.errorString());
            return kExitUsage;
        }
        const QList<QByteArray> lines = file.readAll().split('\n');
        auto line = [&lines](int i) {
            QByteArray l = lines.value(i);
            if (l.endsWith('\r'))
                l.chop(1);
            return QString::fromUtf8(l);
        };
        inputs.password = line(0);
        inputs.writePassword = line(1);
    }
    WorkList list;
    if (!buildWorkList(list, p.args, QStringLiteral("doc")))
        return kExitFailed;
    if (list.count() == 0) {
        message(QStringLiteral("列表为空,请先添加文档到列表!"));
        return kExitFailed;
    }
    inputs.documents = list.entries();

    // The information box's lines: "加密文档 " before each document, then a
    // line of its own for each thing that went wrong with it.
    const QString opening = QStringLiteral("加密文档 ");
    int current = -1;
    std::vector<bool> failedDocs(size_t(inputs.documents.size()), false);
    BatchRunner runner;
    QObject::connect(&runner, &BatchRunner::lineAdded, [&](const QString& line) {
        if (line.startsWith(opening)) {
            ++current;
            return;
        }
        if (current >= 0 && current < int(failedDocs.size())) {
            failedDocs[size_t(current)] = true;
            failure(QString(), trimBlanks(inputs.documents.value(current)), trimBlanks(line));
        }
    });
    session.onCancel([&runner] { runner.cancel(); });
    session.watch([&runner] { return runner.progress(); });
    QTimer::singleShot(0, &runner, [&] {
        runner.start<WordRunResult>(
            [inputs](ProgressSink& progress) {
                // An open password asked for is answered as a cancel: that
                // document is given up.
                WordRun run(inputs, progress, [](const QString&) { return QString(); });
                return run.run();
            },
            [&](WordRunResult r) {
                if (r.engineFailed) {
                    message(r.engineError);
                    session.finish(kExitFailed);
                    return;
                }
                bool anyFailed = false;
                for (int i = 0; i < r.handled; ++i) {
                    if (failedDocs[size_t(i)])
                        anyFailed = true;
                    else
                        result(trimBlanks(inputs.documents.value(i)));
                }
                message(r.cancelled ? cancelledText(r.handled) : QStringLiteral("列表中的所有文档加密完成!"));
                session.finish(r.cancelled || anyFailed ? kExitFailed : kExitOk);
            });
    });
    return session.exec();
}

// ---------------------------------------------------------------------------
// Drawing previews

int dwgCommand(const Parsed& p)
{
    const std::optional<QString> bmp = p.value("--bmp");
    const std::optional<QString> png = p.value("--png");
    if (bool(bmp) == bool(png))
        return usageError(QStringLiteral("请给出 --bmp OUT 或 --png OUT 之一"));
    const QString drawing = p.args.value(0);
    const DwgPreview preview = readDwgPreview(drawing);
    if (!preview.ok()) {
        failure(QString(), drawing, preview.reason());
        return kExitFailed;
    }
    const QString out = bmp ? *bmp : *png;
    if (const std::optional<QString> why = savePicture(preview.image, out, bmp ? "BMP" : "PNG")) {
        message(QStringLiteral("无法写入文件 %1：%2").arg(displayFileNameInLine(out), *why));
        return kExitFailed;
    }
    result(out);
    return kExitOk;
}

// ---------------------------------------------------------------------------
// Help

void printUsage(const CommandInfo& info, bool full)
{
    QByteArray text = QByteArray("用法: kestrune ").append(info.usage).append('\n');
    if (full) {
        text += QByteArray(info.help) + '\n';
        text += "  -0, --null  结果以NUL分隔(名称中可含换行)\n";
    }
    writeStream(stdout, text);
}

int helpCommand(const QByteArray& about)
{
    if (const CommandInfo* info = findCommand(about)) {
        printUsage(*info, true);
        return kExitOk;
    }
    writeStream(stdout, QStringLiteral("Kestrune %1.%2.%3: 文件批量工具。\n"
                                       "不带命令时启动窗口;带命令时在命令行上运行该工具,不需要显示器:\n\n")
                            .arg(kVersionMajor)
                            .arg(kVersionMinor)
                            .arg(kVersionRevision)
                            .toUtf8());
    for (const CommandInfo& info : commands())
        writeStream(stdout, QByteArray("  kestrune ").append(info.usage).append('\n'));
    writeStream(stdout, QStringLiteral("\n结果写到标准输出,每行一个(-0 以NUL分隔);消息和失败写到标准错误。\n"
                                       "退出状态: 0 全部完成, 1 有文件失败, 2 用法错误, 128+信号号 被 Ctrl-C 或 SIGTERM 取消。\n"
                                       "kestrune COMMAND --help 显示该命令的说明。\n")
                            .toUtf8());
    return about.isEmpty() ? kExitOk : kExitUsage;
}

// ---------------------------------------------------------------------------
// Parsing

// Options and arguments in their exact bytes: names that are not UTF-8 stay
// reachable.
std::optional<Parsed> parse(const CommandInfo& info, int argc, char* argv[], QString* error)
{
    Parsed p;
    QString list;  // the list option being filled
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (!optionsEnded && raw == "--") {
            optionsEnded = true;
            list.clear();
            continue;
        }
        if (!optionsEnded && raw.startsWith('-') && raw.size() > 1) {
            QString name = QString::fromUtf8(raw);
            std::optional<QString> inlineValue;
            if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0 && name.startsWith(QLatin1String("--"))) {
                inlineValue = decodeFileName(raw.mid(eq + 1));
                name = name.left(eq);
            }
            list.clear();
            if (commonFlags().contains(name) || info.flags.contains(name)) {
                if (inlineValue) {
                    *error = QStringLiteral("选项 %1 不带值").arg(name);
                    return std::nullopt;
                }
                p.flags.insert(name);
            } else if (info.values.contains(name)) {
                if (!inlineValue) {
                    if (i + 1 >= argc) {
                        *error = QStringLiteral("选项 %1 需要一个值").arg(name);
                        return std::nullopt;
                    }
                    inlineValue = decodeFileName(argv[++i]);
                }
                p.values.insert(name, *inlineValue);
            } else if (info.lists.contains(name)) {
                list = name;
                p.lists[name];  // present, perhaps empty
                if (inlineValue)
                    p.lists[name] << *inlineValue;
            } else {
                *error = QStringLiteral("未知选项 %1").arg(name);
                return std::nullopt;
            }
            continue;
        }
        if (!list.isEmpty())
            p.lists[list] << decodeFileName(raw);
        else
            p.args << decodeFileName(raw);
    }
    if (p.has("-h") || p.has("--help"))
        return p;
    if (p.args.size() < info.minArgs || (info.maxArgs >= 0 && p.args.size() > info.maxArgs)) {
        *error = QStringLiteral("参数个数不对");
        return std::nullopt;
    }
    return p;
}

}  // namespace

bool isCliCommand(int argc, char* argv[])
{
    if (argc < 2)
        return false;
    const QByteArray word(argv[1]);
    return word == "help" || findCommand(word) != nullptr;
}

int runCliCommand(int argc, char* argv[])
{
    const QByteArray word(argv[1]);
    if (word == "help")
        return helpCommand(argc > 2 ? QByteArray(argv[2]) : QByteArray());
    const CommandInfo& info = *findCommand(word);

    // No display and no Qt options: the arguments are all the command's.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));

    QString error;
    const std::optional<Parsed> parsed = parse(info, argc, argv, &error);
    if (!parsed) {
        message(error);
        printUsage(info, false);
        return kExitUsage;
    }
    const Parsed& p = *parsed;
    if (p.has("-h") || p.has("--help")) {
        printUsage(info, true);
        return kExitOk;
    }
    g_null = p.has("-0") || p.has("--null");

    Session session(app);
    int code = kExitUsage;
    if (word == "copy")
        code = fileCommand(session, p, kOpCopy);
    else if (word == "move")
        code = fileCommand(session, p, kOpMove);
    else if (word == "delete")
        code = fileCommand(session, p, p.has("--force") ? kOpForceDelete : kOpDelete);
    else if (word == "dupes")
        code = dupesCommand(session, p);
    else if (word == "record")
        code = recordCommand(session, p);
    else if (word == "query")
        code = queryCommand(p);
    else if (word == "log")
        code = logCommand(p);
    else if (word == "decompile")
        code = decompileCommand(session, p);
    else if (word == "register")
        code = registerCommand(session, p);
    else if (word == "compile")
        code = compileCommand(p);
    else if (word == "word")
        code = wordCommand(session, p);
    else if (word == "dwg")
        code = dwgCommand(p);
    std::fflush(stdout);
    return code;
}

}  // namespace kestrune
