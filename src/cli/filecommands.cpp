// copy, move, delete: the batch file manager.

#include "cli/command.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/filemanager/batchcheck.h"
#include "core/filemanager/batchwalk.h"
#include "core/system/textutil.h"

#include <atomic>

namespace kestrune::cli {

namespace {

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
    BatchInputs inputs;
    inputs.operation = operation;
    if (operation == kOpMove || operation == kOpCopy)
        inputs.destination = p.args.value(1);
    const FileSystemObject fso;
    const BatchFolders folders = checkBatchFolders(fso, p.args.value(0), inputs.destination, operation);
    switch (folders.refusal) {
    case BatchRefusal::None:
        break;
    case BatchRefusal::NoSource:
    case BatchRefusal::NoDestination:
        return usageError(batchRefusalText(folders.refusal));
    default:
        message(batchRefusalText(folders.refusal));
        return kExitFailed;
    }
    const Folder root = folders.source;
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

}  // namespace

int copyCommand(Session& session, const Parsed& options)
{
    return fileCommand(session, options, kOpCopy);
}

int moveCommand(Session& session, const Parsed& options)
{
    return fileCommand(session, options, kOpMove);
}

int deleteCommand(Session& session, const Parsed& options)
{
    return fileCommand(session, options, options.has("--force") ? kOpForceDelete : kOpDelete);
}

}  // namespace kestrune::cli
