#pragma once

// Builds small compiled help files by hand for the tests: every entry stored
// in the uncompressed section, names taken as given (so hostile ones can be
// made); or any entries over a stored section taken from another help file.

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

// An entry placed by hand: its data lies wherever offset and length say.
struct PlacedEntry {
    std::string name;
    unsigned section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
// A help file of the given entries whose stored section holds
// `sectionZero`; the directory takes as many chunks as it needs.
std::string buildChm(const std::vector<PlacedEntry>& entries, const std::string& sectionZero);
// Writes bytes to a file; false when it cannot.
bool writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace kestrune::hh::test
