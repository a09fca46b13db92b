#pragma once

#include "core/batch/batchrunner.h"

#include <functional>

namespace kestrune::test {

// Lets the event loop run until no batch and no program run is left (the
// results delivered), or `ms` have passed; false then.
bool finishBatches(int ms = 60000);

// Lets the event loop run until `done()` holds, or `ms` have passed; false then.
bool spinUntil(const std::function<bool()>& done, int ms = 20000);

// Sets the progress sinks' test hook for one scope; the hook is gone again
// when the scope ends, however it ends.
class StepHook {
public:
    explicit StepHook(ProgressSink::Hook hook) { ProgressSink::setTestHook(std::move(hook)); }
    ~StepHook() { ProgressSink::setTestHook({}); }
    StepHook(const StepHook&) = delete;
    StepHook& operator=(const StepHook&) = delete;
};

}  // namespace kestrune::test
