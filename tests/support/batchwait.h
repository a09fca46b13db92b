#pragma once

namespace kestrune::test {

// Lets the event loop run until no batch and no program run is left (the
// results delivered), or `ms` have passed; false then.
bool finishBatches(int ms = 60000);

}  // namespace kestrune::test
