#pragma once

// Decompiles a compiled HTML help file (.chm) into a folder: every content
// file is written under the folder with its stored path. The help file is
// untrusted input: stored names are checked before anything is written, and
// nothing is ever written through a symbolic link found inside the folder.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::hh {

// Exit statuses of the program.
enum Status : int {
    kAllWritten = 0,      // every content file was written
    kSomeNotWritten = 1,  // at least one was refused or could not be written
    kBadInput = 2,        // wrong arguments, missing file, not a help file
};

// True for the help format's own bookkeeping files, which a decompile leaves
// out: names beginning with "::" and names whose first component (after the
// leading "/") begins with "#" or "$".
bool isInternalName(std::string_view stored);

// The outcome of checking one stored name.
struct NameCheck {
    bool ok = false;
    std::vector<std::string> components;  // the relative path, when ok
    std::string reason;                   // why it was refused, when not ok
};

// Checks a stored name and splits it into the components of a path relative
// to the output folder. The one leading "/" of a stored name stands for the
// help file's root. Refused: a NUL or a backslash anywhere, a name that is
// still absolute after that root (another "/", or a drive such as "C:"),
// a ".." component, a name ending in "/" (a folder, not a file) and a name
// that names no file at all. "." and empty components are dropped.
NameCheck checkStoredName(std::string_view stored);

// Joins checked components onto a folder; empty when the joined path would
// not lie strictly inside `folder` (a last line of defence, lexical only).
std::string joinInside(const std::string& folder, const std::vector<std::string>& components);

// The output folder argument with its trailing separators removed ("/" and,
// as the window may append one, "\"); "/" stays "/".
std::string trimFolderArgument(std::string folder);

// Where one directory entry keeps its data: its section (0 stored, 1
// compressed) and the range of that section's bytes.
struct Extent {
    unsigned section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Checks where the entries to be written keep their data. A help file's
// directory may point any number of names at the same bytes, or past the end
// of a section: written naively, a small file fills the disk. The answer
// holds, for each entry, "" when it may be written, otherwise why not.
// Refused: data reaching beyond its section (`sectionLengths`; an unknown
// section counts as empty), and data overlapping another entry's, every entry
// of such a group (which name the bytes belong to cannot be told). Empty
// entries are always fine. What is accepted adds up to no more than the
// sections hold.
std::vector<std::string> checkExtents(const std::vector<Extent>& extents, const std::uint64_t (&sectionLengths)[2]);

// Decompiles the help file at `chmPath` into `outDir` (created with its
// parents when missing). Problems are written to `err`, one line each.
int decompileFile(const std::string& outDir, const std::string& chmPath, std::ostream& err);

// The same for a help file held in memory; `displayName` names it in messages.
int decompileBuffer(const std::string& outDir, const std::uint8_t* data, std::size_t size,
                    const std::string& displayName, std::ostream& err);

// The whole program: checks the arguments (argv[0] is the program name) and
// runs the decompile. Nothing is written to standard output.
int runCommandLine(int argc, const char* const* argv, std::ostream& err);

extern const char* const kUsage;

}  // namespace kestrune::hh
