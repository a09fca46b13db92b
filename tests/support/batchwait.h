#pragma once

#include <functional>

namespace kestrune::test {

// Lets the event loop run until no batch and no program run is left (the
// results delivered), or `ms` have passed; false then.
bool finishBatches(int ms = 60000);

// Lets the event loop run until `done()` holds, or `ms` have passed; false then.
bool spinUntil(const std::function<bool()>& done, int ms = 20000);

}  // namespace kestrune::test
