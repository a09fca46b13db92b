#pragma once

// Writing files below an output folder without ever following a symbolic
// link that sits inside it. Folders are opened one component at a time with
// O_NOFOLLOW; a file is written under a temporary name in its folder and then
// renamed over the old one, so neither a planted link nor a hard link to a
// file elsewhere can redirect the bytes.

#include <string>
#include <vector>

namespace kestrune::hh {

// A file being written; finished with OutputFolder::commit or abort.
struct PendingFile {
    int parentFd = -1;
    int fd = -1;  // write the content here
    std::string tempName;
    std::string leaf;
};

class OutputFolder {
public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Creates `path` with its parents when missing and opens it. The
    // folders leading to it are the caller's and are followed as given; the
    // folder itself is never a link followed (one there is refused).
    bool open(const std::string& path, std::string& error);

    // Prepares the file at the relative path `components` (checked names):
    // missing folders are created; a link or a non-folder on the way, or a
    // link or folder at the end, is refused with a reason in `error`.
    bool begin(const std::vector<std::string>& components, PendingFile& file, std::string& error);
    // Puts the written file in place, replacing a file of the same name.
    bool commit(PendingFile& file, std::string& error);
    // Drops the written bytes; the old file, if any, stays.
    void abort(PendingFile& file);

private:
    int m_root = -1;
    unsigned m_counter = 0;
};

}  // namespace kestrune::hh
