#include "hhdecompile.h"

#include "safeout.h"

#include <mspack.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune::hh {

const char* const kUsage = "用法: kestrune-hh -decompile 输出文件夹 帮助文件.chm";

// ---------------------------------------------------------------------------
// Stored names

bool isInternalName(std::string_view stored) {
    if (stored.substr(0, 2) == "::")
        return true;
    std::string_view rest = stored;
    if (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    return !rest.empty() && (rest.front() == '#' || rest.front() == '$');
}

NameCheck checkStoredName(std::string_view stored) {
    NameCheck check;
    if (stored.find('\0') != std::string_view::npos) {
        check.reason = "名称含有 NUL 字符";
        return check;
    }
    if (stored.find('\\') != std::string_view::npos) {
        check.reason = "名称含有反斜杠";
        return check;
    }
    std::string_view rest = stored;
    if (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '/') {
        check.reason = "名称是绝对路径";
        return check;
    }
    if (rest.size() >= 2 && rest[1] == ':' &&
        ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'))) {
        check.reason = "名称以驱动器开头";
        return check;
    }
    if (!rest.empty() && rest.back() == '/') {
        check.reason = "名称指向文件夹";
        return check;
    }
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t slash = rest.find('/', pos);
        if (slash == std::string_view::npos)
            slash = rest.size();
        std::string_view part = rest.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            check.reason = "名称含有 .. 成分";
            check.components.clear();
            return check;
        }
        check.components.emplace_back(part);
    }
    if (check.components.empty()) {
        check.reason = "名称不指向任何文件";
        return check;
    }
    check.ok = true;
    return check;
}

std::string joinInside(const std::string& folder, const std::vector<std::string>& components) {
    if (folder.empty() || components.empty())
        return {};
    std::string joined = folder;
    if (joined.back() != '/')
        joined += '/';
    const std::string prefix = joined;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& part = components[i];
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return {};
        if (i)
            joined += '/';
        joined += part;
    }
    if (joined.size() <= prefix.size() || joined.compare(0, prefix.size(), prefix) != 0)
        return {};
    return joined;
}

std::vector<std::string> checkExtents(const std::vector<Extent>& extents, const std::uint64_t (&sectionLengths)[2]) {
    std::vector<std::string> reasons(extents.size());
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < extents.size(); ++i) {
        const Extent& e = extents[i];
        if (e.length == 0)
            continue;
        const std::uint64_t size = e.section < 2 ? sectionLengths[e.section] : 0;
        if (e.offset > size || e.length > size - e.offset) {
            reasons[i] = "数据超出其所在的段";
            continue;
        }
        order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const Extent &x = extents[a], &y = extents[b];
        return x.section != y.section ? x.section < y.section : x.offset < y.offset;
    });
    // One sweep in the order of the data. `reach` is the entry reaching
    // furthest so far: an entry starting before its end overlaps it, and an
    // entry overlapping any earlier one overlaps that one too.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t reach = kNone;
    std::uint64_t end = 0;
    for (std::size_t i : order) {
        const Extent& e = extents[i];
        const bool sameSection = reach != kNone && extents[reach].section == e.section;
        if (sameSection && e.offset < end) {
            reasons[i] = "数据与另一个文件的数据重叠";
            reasons[reach] = reasons[i];
        }
        if (!sameSection || e.offset + e.length > end) {
            reach = i;
            end = e.offset + e.length;
        }
    }
    return reasons;
}

std::string trimFolderArgument(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    return folder;
}

// ---------------------------------------------------------------------------
// The I/O layer libmspack reads and writes through. A help file comes either
// from a path or from memory; output always goes to a descriptor prepared by
// OutputFolder, never to a path libmspack would open itself.

namespace {

// The name under which an in-memory help file is handed to libmspack.
constexpr const char* kMemoryName = "\x01memory";
// The name under which the prepared output descriptor is handed over.
constexpr const char* kOutputName = "\x01output";

struct HhFile {
    int fd = -1;          // a real file (owned) or the output (not owned)
    bool ownsFd = false;
    bool memory = false;
    bool fixHeader = false;  // see patchHeader()
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::uint64_t pos = 0;  // read position, kept for memory and files alike
};

// The header of a help file carries two format GUIDs. Some help compilers
// (Free Pascal's chmcmd among them) write the first one twice, and libmspack
// then refuses the whole file although nothing else is wrong with it; other
// readers ignore the second GUID. Reads of a help file that starts with the
// ITSF signature therefore see the usual second GUID at its place.
constexpr std::uint64_t kSecondGuidAt = 0x28;
constexpr std::uint8_t kSecondGuid[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                          0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

void patchHeader(const HhFile& file, std::uint64_t start, std::uint8_t* buffer, std::size_t count) {
    if (!file.fixHeader)
        return;
    const std::uint64_t end = start + count;
    for (std::uint64_t at = kSecondGuidAt; at < kSecondGuidAt + sizeof kSecondGuid; ++at)
        if (at >= start && at < end)
            buffer[at - start] = kSecondGuid[at - kSecondGuidAt];
}

bool startsWithSignature(const std::uint8_t* bytes, std::size_t size) {
    return size >= 4 && std::memcmp(bytes, "ITSF", 4) == 0;
}

struct HhSystem {
    mspack_system base;  // must stay first: libmspack hands this pointer back
    const std::uint8_t* memData = nullptr;
    std::size_t memSize = 0;
    int outputFd = -1;
};

mspack_file* sysOpen(mspack_system* self, const char* filename, int mode) {
    auto* sys = reinterpret_cast<HhSystem*>(self);
    auto* file = new (std::nothrow) HhFile;
    if (!file)
        return nullptr;
    if (mode == MSPACK_SYS_OPEN_READ) {
        if (std::strcmp(filename, kMemoryName) == 0) {
            file->memory = true;
            file->data = sys->memData;
            file->size = sys->memSize;
            file->fixHeader = startsWithSignature(file->data, file->size);
        } else {
            file->fd = ::open(filename, O_RDONLY | O_CLOEXEC);
            file->ownsFd = true;
            std::uint8_t head[4];
            if (file->fd >= 0)
                file->fixHeader = ::pread(file->fd, head, sizeof head, 0) == 4 && startsWithSignature(head, 4);
        }
    } else if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(filename, kOutputName) == 0) {
        file->fd = sys->outputFd;
    }
    if (!file->memory && file->fd < 0) {
        delete file;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(file);
}

void sysClose(mspack_file* handle) {
    auto* file = reinterpret_cast<HhFile*>(handle);
    if (!file)
        return;
    if (file->ownsFd && file->fd >= 0)
        ::close(file->fd);
    delete file;
}

int sysRead(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<HhFile*>(handle);
    if (!file || bytes < 0)
        return -1;
    if (file->memory) {
        std::uint64_t left = file->pos < file->size ? file->size - file->pos : 0;
        std::size_t count = static_cast<std::uint64_t>(bytes) < left ? static_cast<std::size_t>(bytes)
                                                                     : static_cast<std::size_t>(left);
        if (count) {
            std::memcpy(buffer, file->data + file->pos, count);
            patchHeader(*file, file->pos, static_cast<std::uint8_t*>(buffer), count);
        }
        file->pos += count;
        return static_cast<int>(count);
    }
    auto* out = static_cast<char*>(buffer);
    int total = 0;
    while (total < bytes) {
        ssize_t got = ::read(file->fd, out + total, static_cast<std::size_t>(bytes - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<int>(got);
    }
    patchHeader(*file, file->pos, static_cast<std::uint8_t*>(buffer), static_cast<std::size_t>(total));
    file->pos += static_cast<std::uint64_t>(total);
    return total;
}

int sysWrite(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<HhFile*>(handle);
    if (!file || file->memory || bytes < 0)
        return -1;
    const char* in = static_cast<const char*>(buffer);
    int total = 0;
    while (total < bytes) {
        ssize_t put = ::write(file->fd, in + total, static_cast<std::size_t>(bytes - total));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        total += static_cast<int>(put);
    }
    return total;
}

int sysSeek(mspack_file* handle, off_t offset, int mode) {
    auto* file = reinterpret_cast<HhFile*>(handle);
    if (!file)
        return -1;
    if (file->memory) {
        off_t base = 0;
        if (mode == MSPACK_SYS_SEEK_CUR)
            base = static_cast<off_t>(file->pos);
        else if (mode == MSPACK_SYS_SEEK_END)
            base = static_cast<off_t>(file->size);
        else if (mode != MSPACK_SYS_SEEK_START)
            return -1;
        // Reject overflow and positions before the start; past the end is
        // allowed (reads there return nothing), as with a real file.
        if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
            return -1;
        file->pos = static_cast<std::uint64_t>(base + offset);
        return 0;
    }
    int whence = mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : mode == MSPACK_SYS_SEEK_END ? SEEK_END : SEEK_SET;
    off_t now = ::lseek(file->fd, offset, whence);
    if (now < 0)
        return -1;
    file->pos = static_cast<std::uint64_t>(now);
    return 0;
}

off_t sysTell(mspack_file* handle) {
    auto* file = reinterpret_cast<HhFile*>(handle);
    if (!file)
        return -1;
    if (file->memory)
        return static_cast<off_t>(file->pos);
    return ::lseek(file->fd, 0, SEEK_CUR);
}

// libmspack's warnings about oddities in a file are not for the user.
void sysMessage(mspack_file*, const char*, ...) {}

void* sysAlloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void sysFree(void* ptr) { std::free(ptr); }
void sysCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

void initSystem(HhSystem& sys) {
    sys.base.open = sysOpen;
    sys.base.close = sysClose;
    sys.base.read = sysRead;
    sys.base.write = sysWrite;
    sys.base.seek = sysSeek;
    sys.base.tell = sysTell;
    sys.base.message = sysMessage;
    sys.base.alloc = sysAlloc;
    sys.base.free = sysFree;
    sys.base.copy = sysCopy;
    sys.base.null_ptr = nullptr;
}

// Control characters in a stored name are shown as \xNN so that a hostile
// name cannot garble the message line.
std::string printable(const char* name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const char* mspackError(int code) {
    switch (code) {
    case MSPACK_ERR_READ: return "读取失败";
    case MSPACK_ERR_WRITE: return "写入失败";
    case MSPACK_ERR_SEEK: return "定位失败";
    case MSPACK_ERR_NOMEMORY: return "内存不足";
    case MSPACK_ERR_DATAFORMAT: return "数据格式错误";
    case MSPACK_ERR_DECRUNCH: return "解压失败";
    case MSPACK_ERR_CHECKSUM: return "校验失败";
    case MSPACK_ERR_OPEN: return "无法打开";
    default: return "解压失败";
    }
}

// Reads `count` bytes at `offset` of the help file through the same I/O
// layer libmspack uses.
bool readSource(HhSystem& sys, const char* source, std::uint64_t offset, std::uint8_t* buffer, int count) {
    mspack_file* file = sysOpen(&sys.base, source, MSPACK_SYS_OPEN_READ);
    if (!file)
        return false;
    const bool ok = offset <= static_cast<std::uint64_t>(INT64_MAX) &&
                    sysSeek(file, static_cast<off_t>(offset), MSPACK_SYS_SEEK_START) == 0 &&
                    sysRead(file, buffer, count) == count;
    sysClose(file);
    return ok;
}

std::uint64_t little64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// The number of bytes each section holds. The stored section runs from its
// start to the end of the file; the compressed one holds what its reset
// table (or, lacking that, its span information) says it expands to, the
// length libmspack decodes it to. Unknown lengths are 0.
void measureSections(HhSystem& sys, const char* source, std::uint64_t sourceSize, const mschmd_header& header,
                     std::uint64_t (&lengths)[2]) {
    const std::uint64_t start = header.sec0.offset > 0 ? static_cast<std::uint64_t>(header.sec0.offset) : 0;
    lengths[0] = sourceSize > start ? sourceSize - start : 0;
    lengths[1] = 0;
    // The reset table keeps the expanded length at 0x10, the span
    // information at its start; both are stored files of section 0.
    auto readLength = [&](const mschmd_file* file, std::uint64_t at) {
        std::uint8_t bytes[8];
        if (!file || !file->section || file->section->id != 0 || file->length < 0 ||
            static_cast<std::uint64_t>(file->length) < at + 8 || file->offset < 0 ||
            !readSource(sys, source, start + static_cast<std::uint64_t>(file->offset) + at, bytes, 8))
            return false;
        lengths[1] = little64(bytes);
        return true;
    };
    if (!readLength(header.sec1.rtable, 0x10))
        readLength(header.sec1.spaninfo, 0);
}

struct Decompressor {
    explicit Decompressor(HhSystem& sys) : chmd(mspack_create_chm_decompressor(&sys.base)) {}
    ~Decompressor() {
        if (chmd) {
            if (header)
                chmd->close(chmd, header);
            mspack_destroy_chm_decompressor(chmd);
        }
    }
    mschm_decompressor* chmd;
    mschmd_header* header = nullptr;
};

int decompile(HhSystem& sys, const std::string& outDir, const char* source, std::uint64_t sourceSize,
              const std::string& displayName, std::ostream& err) {
    Decompressor dec(sys);
    if (!dec.chmd) {
        err << "kestrune-hh: 内存不足\n";
        return kBadInput;
    }
    dec.header = dec.chmd->open(dec.chmd, source);
    if (!dec.header) {
        int code = dec.chmd->last_error(dec.chmd);
        if (code == MSPACK_ERR_OPEN)
            err << "kestrune-hh: 无法打开帮助文件: " << displayName << "\n";
        else
            err << "kestrune-hh: 不是编译的帮助文件(.chm): " << displayName << "\n";
        return kBadInput;
    }

    OutputFolder folder;
    std::string error;
    if (!folder.open(outDir, error)) {
        err << "kestrune-hh: 无法建立 " << displayName << " 的输出文件夹 " << outDir << ": " << error << "\n";
        return kSomeNotWritten;
    }

    // Files of the compressed section are taken in the order of their place
    // in the section: libmspack then decodes the stream once from start to
    // end instead of starting over from a reset point for every file that
    // lies before the previous one (the directory lists them by name).
    std::vector<mschmd_file*> files;
    for (mschmd_file* file = dec.header->files; file; file = file->next)
        files.push_back(file);
    std::stable_sort(files.begin(), files.end(), [](const mschmd_file* a, const mschmd_file* b) {
        const unsigned sa = a->section ? a->section->id : 0, sb = b->section ? b->section->id : 0;
        return sa != sb ? sa < sb : a->offset < b->offset;
    });

    // The names to write, and where their data lies.
    struct Candidate {
        mschmd_file* file;
        NameCheck check;
    };
    std::vector<Candidate> candidates;
    std::vector<Extent> extents;
    for (mschmd_file* file : files) {
        const char* name = file->filename ? file->filename : "";
        if (isInternalName(name))
            continue;
        NameCheck check = checkStoredName(name);
        if (check.ok && joinInside(outDir, check.components).empty()) {
            check.ok = false;
            check.reason = "名称会落到输出文件夹之外";
        }
        if (check.ok) {
            // A negative offset or length lies beyond any section.
            constexpr std::uint64_t kBeyond = UINT64_MAX;
            Extent extent;
            extent.section = file->section ? file->section->id : 0;
            extent.offset = file->offset < 0 ? kBeyond : static_cast<std::uint64_t>(file->offset);
            extent.length = file->length < 0 ? kBeyond : static_cast<std::uint64_t>(file->length);
            extents.push_back(extent);
        }
        candidates.push_back({file, std::move(check)});
    }
    std::uint64_t sectionLengths[2];
    measureSections(sys, source, sourceSize, *dec.header, sectionLengths);
    const std::vector<std::string> misplaced = checkExtents(extents, sectionLengths);

    int status = kAllWritten;
    std::size_t placed = 0;
    for (Candidate& candidate : candidates) {
        mschmd_file* file = candidate.file;
        const char* name = file->filename ? file->filename : "";
        NameCheck& check = candidate.check;
        if (check.ok) {
            const std::string& reason = misplaced[placed++];
            if (!reason.empty()) {
                check.ok = false;
                check.reason = reason;
            }
        }
        if (!check.ok) {
            err << "kestrune-hh: 拒绝写出 " << printable(name) << ": " << check.reason << "\n";
            status = kSomeNotWritten;
            continue;
        }
        PendingFile pending;
        if (!folder.begin(check.components, pending, error)) {
            err << "kestrune-hh: 无法写出 " << printable(name) << ": " << error << "\n";
            status = kSomeNotWritten;
            continue;
        }
        sys.outputFd = pending.fd;
        int code = dec.chmd->extract(dec.chmd, file, kOutputName);
        sys.outputFd = -1;
        if (code != MSPACK_ERR_OK) {
            folder.abort(pending);
            err << "kestrune-hh: 无法写出 " << printable(name) << ": " << mspackError(code) << "\n";
            status = kSomeNotWritten;
            continue;
        }
        if (!folder.commit(pending, error)) {
            err << "kestrune-hh: 无法写出 " << printable(name) << ": " << error << "\n";
            status = kSomeNotWritten;
        }
    }
    return status;
}

}  // namespace

int decompileFile(const std::string& outDir, const std::string& chmPath, std::ostream& err) {
    struct stat st {};
    if (::stat(chmPath.c_str(), &st) != 0) {
        err << "kestrune-hh: 找不到帮助文件: " << chmPath << "\n";
        return kBadInput;
    }
    if (!S_ISREG(st.st_mode)) {
        err << "kestrune-hh: 不是编译的帮助文件(.chm): " << chmPath << "\n";
        return kBadInput;
    }
    HhSystem sys{};
    initSystem(sys);
    return decompile(sys, trimFolderArgument(outDir), chmPath.c_str(), static_cast<std::uint64_t>(st.st_size),
                     chmPath, err);
}

int decompileBuffer(const std::string& outDir, const std::uint8_t* data, std::size_t size,
                    const std::string& displayName, std::ostream& err) {
    HhSystem sys{};
    initSystem(sys);
    sys.memData = data;
    sys.memSize = size;
    return decompile(sys, trimFolderArgument(outDir), kMemoryName, size, displayName, err);
}

int runCommandLine(int argc, const char* const* argv, std::ostream& err) {
    if (argc != 4 || std::strcmp(argv[1], "-decompile") != 0 || !argv[2][0] || !argv[3][0]) {
        err << kUsage << "\n";
        return kBadInput;
    }
    return decompileFile(argv[2], argv[3], err);
}

}  // namespace kestrune::hh
