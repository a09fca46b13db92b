#pragma once

#include "core/batch/failurelist.h"
#include "core/filemanager/batchwalk.h"

#include <QString>

namespace kestrune {

// What a walk of the batch file manager did.
struct BatchWalkResult {
    int handled = 0;       // files the operation was applied to (or tried on)
    bool stopped = false;  // the walk was stopped before its end
    FailureList failures;  // the files and folders it could not handle, with why
};

// Runs batchWalk and gathers its failures; `inputs.failed`, when set, is
// still told of each one as it happens.
BatchWalkResult runBatchWalk(const QString& root, bool recurse, BatchInputs inputs, ProgressSink* progress = nullptr);

// "以下文件未能移动:", "以下文件未能复制:" or "以下文件未能删除:".
QString batchFailureHeading(int operation);

// What the window tells when the walk has ended: nothing when it ran to its
// end and handled everything; else the cancel and the failures, in one
// message.
QString batchEndMessage(const BatchWalkResult& result, int operation);

}  // namespace kestrune
