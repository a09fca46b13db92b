#include "chmbuilder.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace kestrune::hh::test {

namespace {

const unsigned char kItsfGuids[32] = {
    0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC,
    0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
const unsigned char kItspGuid[16] = {0x6A, 0x92, 0x02, 0x5D, 0x2E, 0x21, 0xD0, 0x11,
                                     0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::uint32_t kChunkSize = 0x1000;

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void putBytes(std::string& out, const unsigned char* bytes, std::size_t n) {
    out.append(reinterpret_cast<const char*>(bytes), n);
}
// The format's variable-length integer: 7 bits a byte, most significant first.
void putEncint(std::string& out, std::uint64_t v) {
    std::string rev;
    do {
        rev += static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v);
    for (std::size_t i = rev.size(); i-- > 0;)
        out += static_cast<char>(rev[i] | (i ? 0x80 : 0));
}

}  // namespace

std::string buildChm(const std::vector<ChmEntry>& entries) {
    std::string content;
    std::vector<PlacedEntry> placed;
    for (const ChmEntry& e : entries) {
        // Folders are stored as empty entries at offset 0.
        const bool folder = !e.name.empty() && e.name.back() == '/' && e.content.empty();
        const std::int64_t offset = folder ? 0 : static_cast<std::int64_t>(content.size());
        placed.push_back({e.name, e.section, static_cast<std::uint64_t>(offset + e.offsetShift),
                          static_cast<std::uint64_t>(static_cast<std::int64_t>(e.content.size()) + e.lengthShift)});
        content += e.content;
    }
    return buildChm(placed, content);
}

std::string buildChm(const std::vector<PlacedEntry>& entries, const std::string& sectionZero) {
    const std::size_t chunkHeader = 20;
    std::vector<std::string> chunks;
    std::string listing;
    std::size_t inChunk = 0;
    auto closeChunk = [&] {
        std::string chunk = "PMGL";
        put32(chunk, static_cast<std::uint32_t>(kChunkSize - chunkHeader - listing.size()));
        put32(chunk, 0);
        put32(chunk, chunks.empty() ? 0xFFFFFFFF : static_cast<std::uint32_t>(chunks.size() - 1));
        put32(chunk, 0xFFFFFFFF);  // mended below when another chunk follows
        chunk += listing;
        chunk.resize(kChunkSize - 2, '\0');
        chunk += static_cast<char>(inChunk & 0xFF);
        chunk += static_cast<char>((inChunk >> 8) & 0xFF);
        if (!chunks.empty()) {
            std::string& previous = chunks.back();
            for (int i = 0; i < 4; ++i)
                previous[16 + i] = static_cast<char>((chunks.size() >> (8 * i)) & 0xFF);
        }
        chunks.push_back(chunk);
        listing.clear();
        inChunk = 0;
    };
    for (const PlacedEntry& e : entries) {
        std::string one;
        putEncint(one, e.name.size());
        one += e.name;
        putEncint(one, e.section);
        putEncint(one, e.offset);
        putEncint(one, e.length);
        if (one.size() + chunkHeader + 2 > kChunkSize)
            throw std::length_error("entry too long for a chunk");
        if (listing.size() + one.size() + chunkHeader + 2 > kChunkSize)
            closeChunk();
        listing += one;
        ++inChunk;
    }
    closeChunk();
    const std::string& content = sectionZero;
    std::string chunk;
    for (const std::string& c : chunks)
        chunk += c;
    const std::uint32_t chunkCount = static_cast<std::uint32_t>(chunks.size());

    const std::uint64_t itsfSize = 0x60, hs0Size = 0x18, itspSize = 0x54;
    const std::uint64_t dirOffset = itsfSize + hs0Size;
    const std::uint64_t dirLength = itspSize + std::uint64_t(kChunkSize) * chunkCount;
    const std::uint64_t contentOffset = dirOffset + dirLength;
    const std::uint64_t fileLength = contentOffset + content.size();

    std::string out = "ITSF";
    put32(out, 3);
    put32(out, itsfSize);
    put32(out, 1);
    put32(out, 0);
    put32(out, 0x804);
    putBytes(out, kItsfGuids, sizeof kItsfGuids);
    put64(out, itsfSize);
    put64(out, hs0Size);
    put64(out, dirOffset);
    put64(out, dirLength);
    put64(out, contentOffset);

    put32(out, 0x1FE);
    put32(out, 0);
    put64(out, fileLength);
    put32(out, 0);
    put32(out, 0);

    out += "ITSP";
    put32(out, 1);
    put32(out, itspSize);
    put32(out, 0x0A);
    put32(out, kChunkSize);
    put32(out, 2);           // density
    put32(out, 1);           // depth: no index chunks
    put32(out, 0xFFFFFFFF);  // index root: none
    put32(out, 0);           // first directory chunk
    put32(out, chunkCount - 1);  // last directory chunk
    put32(out, 0xFFFFFFFF);
    put32(out, chunkCount);      // number of chunks
    put32(out, 0x804);
    putBytes(out, kItspGuid, sizeof kItspGuid);
    put32(out, itspSize);
    put32(out, 0xFFFFFFFF);
    put32(out, 0xFFFFFFFF);
    put32(out, 0xFFFFFFFF);

    out += chunk;
    out += content;
    return out;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream all;
    all << file.rdbuf();
    return all.str();
}

}  // namespace kestrune::hh::test
