#pragma once

// Builds small compiled help files by hand for the tests: one directory
// chunk, every entry stored in the uncompressed section, names taken as
// given (so hostile ones can be made).

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::hh::test {

struct ChmEntry {
    std::string name;
    std::string content;
    unsigned section = 0;           // 1 claims the compressed section
    std::int64_t offsetShift = 0;   // moves the stored offset (damaged files)
    std::int64_t lengthShift = 0;   // grows the stored length (damaged files)
};

std::string buildChm(const std::vector<ChmEntry>& entries);
// Writes bytes to a file; false when it cannot.
bool writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace kestrune::hh::test
