// Feeds arbitrary bytes to the help decompiler as if they were a help file.
// Besides crashes and hangs it checks two things: the status is one of the
// program's three, and nothing appears beside the output folder (a stored
// name that escaped it).

#include "hhdecompile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A scratch folder for one input, removed afterwards (libFuzzer may leave
// the process without running destructors, so nothing outlives a run).
struct Scratch {
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_hh.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scratch scratch;
    const std::string& root = scratch.path;
    const std::string out = root + "/a/out";
    std::ostringstream err;
    int status = kestrune::hh::decompileBuffer(out, data, size, "fuzz.chm", err);
    if (status != 0 && status != 1 && status != 2) {
        std::fprintf(stderr, "unexpected status %d\n", status);
        std::abort();
    }
    if (status != 2 && err.str().empty() != (status == 0)) {
        std::fprintf(stderr, "status %d with messages:\n%s\n", status, err.str().c_str());
        std::abort();
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        if (path != root + "/a" && path.compare(0, out.size(), out) != 0) {
            std::fprintf(stderr, "written outside the output folder: %s\n", path.c_str());
            std::abort();
        }
    }
    return 0;
}
