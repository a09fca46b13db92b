#include "core/filemanager/batchresult.h"

namespace kestrune {

BatchWalkResult runBatchWalk(const QString& root, bool recurse, BatchInputs inputs, ProgressSink* progress)
{
    BatchWalkResult result;
    FailureList& failures = result.failures;
    inputs.failed = [&failures, told = inputs.failed](const QString& path, const QString& reason) {
        failures.add(path, reason);
        if (told)
            told(path, reason);
    };
    result.handled = batchWalk(root, recurse, inputs, progress, &result.stopped);
    return result;
}

QString batchFailureHeading(int operation)
{
    switch (operation) {
    case kOpMove:
        return QStringLiteral("以下文件未能移动:");
    case kOpCopy:
        return QStringLiteral("以下文件未能复制:");
    default:
        return QStringLiteral("以下文件未能删除:");
    }
}

QString batchEndMessage(const BatchWalkResult& result, int operation)
{
    return batchEndText(result.stopped, result.handled, batchFailureHeading(operation), result.failures);
}

}  // namespace kestrune
