// The decompiler's library: stored-name checks, writing without following
// links, and hostile or damaged help files built by hand.

#include "chmbuilder.h"
#include "hhdecompile.h"
#include "hhtestutil.h"
#include "safeout.h"

#include <gtest/gtest.h>

#include <mspack.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune::hh;
using namespace kestrune::hh::test;

namespace {

using Parts = std::vector<std::string>;

int decompileBytes(const std::string& outDir, const std::string& chm, std::string& messages) {
    std::ostringstream err;
    int status = decompileBuffer(outDir, reinterpret_cast<const std::uint8_t*>(chm.data()), chm.size(),
                                 "crafted.chm", err);
    messages = err.str();
    return status;
}

bool isLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

TEST(HhNames, RefusesNamesThatLeaveTheFolder) {
    const std::string hostile[] = {
        "../evil", "/../evil", "/a/../../evil", "/a/..", "/..",
        "//etc/passwd", "///x", "/C:/Windows/x", "c:x",
        "/a\\b", "\\..\\evil", std::string("/a\0/../../b", 11), std::string("/ok\0", 4),
        "", "/", "/./", "//", "/folder/",
    };
    for (const std::string& name : hostile) {
        NameCheck check = checkStoredName(name);
        EXPECT_FALSE(check.ok) << "accepted: " << name;
        EXPECT_FALSE(check.reason.empty()) << name;
        EXPECT_TRUE(check.components.empty()) << name;
    }
}

TEST(HhNames, SplitsOrdinaryNamesIntoComponents) {
    EXPECT_EQ(checkStoredName("/index.htm").components, Parts({"index.htm"}));
    EXPECT_EQ(checkStoredName("/img/a.gif").components, Parts({"img", "a.gif"}));
    EXPECT_EQ(checkStoredName("/./a//b").components, Parts({"a", "b"}));
    EXPECT_EQ(checkStoredName("/主页.htm").components, Parts({"主页.htm"}));
    // Dots that are part of a name are not a parent reference.
    EXPECT_EQ(checkStoredName("/a..b/...").components, Parts({"a..b", "..."}));
    EXPECT_EQ(checkStoredName("relative.htm").components, Parts({"relative.htm"}));
    EXPECT_TRUE(checkStoredName("/ab:c.htm").ok);  // a colon alone is no drive
}

TEST(HhNames, KnowsTheFormatsOwnFiles) {
    for (const char* name : {"/#SYSTEM", "/#IDXHDR", "/$OBJINST", "/$WWKeywordLinks/BTree",
                             "::DataSpace/Storage/MSCompressed/Content", "#STRINGS"})
        EXPECT_TRUE(isInternalName(name)) << name;
    for (const char* name : {"/_#_README_#_", "/img/#x.gif", "/a$.htm", "/index.htm", "/sub/$x"})
        EXPECT_FALSE(isInternalName(name)) << name;
}

TEST(HhNames, JoinsOnlyInsideTheFolder) {
    EXPECT_EQ(joinInside("/out", {"a", "b.htm"}), "/out/a/b.htm");
    EXPECT_EQ(joinInside("/out/", {"a"}), "/out/a");
    EXPECT_EQ(joinInside("/", {"a"}), "/a");
    EXPECT_EQ(joinInside("/out", {".."}), "");
    EXPECT_EQ(joinInside("/out", {"a", "..", "..", "x"}), "");
    EXPECT_EQ(joinInside("/out", {"a/../../x"}), "");
    EXPECT_EQ(joinInside("/out", {}), "");
    EXPECT_EQ(joinInside("", {"a"}), "");
}

TEST(HhNames, TrimsTrailingSeparatorsOfTheFolder) {
    EXPECT_EQ(trimFolderArgument("/out/Help/"), "/out/Help");
    EXPECT_EQ(trimFolderArgument("/out/Help\\"), "/out/Help");
    EXPECT_EQ(trimFolderArgument("out//"), "out");
    EXPECT_EQ(trimFolderArgument("/"), "/");
    EXPECT_EQ(trimFolderArgument("/out"), "/out");
}

TEST(HhOutput, ReplacesFilesWithoutTouchingHardLinkedOnes) {
    Scratch scratch;
    const std::string out = scratch / "out", outside = scratch / "outside.txt";
    ASSERT_TRUE(writeFile(outside, "precious"));
    OutputFolder folder;
    std::string error;
    ASSERT_TRUE(folder.open(out + "/deep/er", error)) << error;
    ASSERT_EQ(link(outside.c_str(), (out + "/deep/er/page.htm").c_str()), 0);

    PendingFile pending;
    ASSERT_TRUE(folder.begin({"page.htm"}, pending, error)) << error;
    ASSERT_EQ(write(pending.fd, "new", 3), 3);
    ASSERT_TRUE(folder.commit(pending, error)) << error;
    EXPECT_EQ(readFile(out + "/deep/er/page.htm"), "new");
    EXPECT_EQ(readFile(outside), "precious");

    // An aborted write leaves the old file and no temporary file behind.
    ASSERT_TRUE(folder.begin({"sub", "page.htm"}, pending, error)) << error;
    ASSERT_EQ(write(pending.fd, "half", 4), 4);
    folder.abort(pending);
    auto files = snapshot(out);
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(files.count("deep/er/page.htm"), 1u);
}

TEST(HhOutput, RefusesLinksAndFoldersOnTheWay) {
    Scratch scratch;
    const std::string out = scratch / "out", elsewhere = scratch / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    ASSERT_TRUE(writeFile(elsewhere + "/target.htm", "keep"));
    fs::create_directory_symlink(elsewhere, out + "/linked");
    fs::create_symlink(elsewhere + "/target.htm", out + "/leaf.htm");
    fs::create_directories(out + "/folder.htm");
    ASSERT_TRUE(writeFile(out + "/plain", "x"));

    OutputFolder folder;
    std::string error;
    ASSERT_TRUE(folder.open(out, error)) << error;
    PendingFile pending;
    for (const Parts& parts : {Parts{"linked", "new.htm"}, Parts{"leaf.htm"}, Parts{"folder.htm"},
                               Parts{"plain", "x.htm"}}) {
        error.clear();
        EXPECT_FALSE(folder.begin(parts, pending, error)) << parts.front();
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(fs::exists(elsewhere + "/new.htm"));
    EXPECT_EQ(readFile(elsewhere + "/target.htm"), "keep");
    EXPECT_TRUE(isLink(out + "/leaf.htm"));
}

TEST(HhCrafted, WritesContentAndLeavesOutInternalFiles) {
    Scratch scratch;
    const std::string chm = buildChm({
        {"/#SYSTEM", "sys"},
        {"/$OBJINST", "obj"},
        {"/$WWKeywordLinks/BTree", "tree"},
        {"/index.htm", "<html>index</html>"},
        {"/文档/说明.htm", "说明"},
        {"/img/", ""},  // a folder entry, left to libmspack
        {"/empty.htm", ""},
        {"/img/#logo.gif", "GIF89a"},
    });
    std::string messages;
    ASSERT_EQ(decompileBytes(scratch / "out/", chm, messages), kAllWritten) << messages;
    EXPECT_EQ(messages, "");
    const std::map<std::string, std::string> expected = {
        {"index.htm", "<html>index</html>"},
        {"文档/说明.htm", "说明"},
        {"empty.htm", ""},
        {"img/#logo.gif", "GIF89a"},
    };
    EXPECT_EQ(snapshot(scratch / "out"), expected);
}

TEST(HhCrafted, RefusesHostileNamesAndWritesTheRest) {
    Scratch scratch;
    const std::string out = scratch / "a/out";
    const std::string absolute = scratch.path() + "/absolute.htm";
    const std::string chm = buildChm({
        {"/../evil.htm", "evil"},
        {"/sub/../../../evil2.htm", "evil"},
        {"/" + absolute, "evil"},  // "//tmp/..." once the root slash is taken off
        {"/back\\slash.htm", "evil"},
        {"/good.htm", "good"},
    });
    std::string messages;
    EXPECT_EQ(decompileBytes(out, chm, messages), kSomeNotWritten);
    EXPECT_EQ(snapshot(out), (std::map<std::string, std::string>{{"good.htm", "good"}}));
    EXPECT_FALSE(fs::exists(scratch / "a/evil.htm"));
    EXPECT_FALSE(fs::exists(scratch / "evil2.htm"));
    EXPECT_FALSE(fs::exists(absolute));
    for (const char* name : {"/../evil.htm", "/sub/../../../evil2.htm", "/back\\slash.htm", "absolute.htm"})
        EXPECT_NE(messages.find(name), std::string::npos) << name << " not named in:\n" << messages;
    EXPECT_EQ(messages.find("good.htm"), std::string::npos);
}

TEST(HhCrafted, ControlCharactersInNamesAreShownEscaped) {
    Scratch scratch;
    std::string messages;
    decompileBytes(scratch / "out", buildChm({{"/../\n\x1b[2J", "x"}}), messages);
    EXPECT_NE(messages.find("\\x0A"), std::string::npos) << messages;
    EXPECT_NE(messages.find("\\x1B"), std::string::npos) << messages;
    // The message is one line.
    EXPECT_EQ(messages.find('\n'), messages.size() - 1);
}

TEST(HhCrafted, DamagedEntriesFailAloneAndLeaveNothingBehind) {
    Scratch scratch;
    const std::string out = scratch / "out";
    ASSERT_TRUE(writeFile(scratch / "keep", ""));
    fs::create_directories(out);
    ASSERT_TRUE(writeFile(out + "/beyond.htm", "old bytes"));
    const std::string chm = buildChm({
        {"/beyond.htm", "abc", 0, 0, 1 << 20},   // runs past the end of the file
        {"/compressed.htm", "abc", 1},            // no compressed section exists
        {"/fine.htm", "fine"},
    });
    std::string messages;
    EXPECT_EQ(decompileBytes(out, chm, messages), kSomeNotWritten);
    EXPECT_NE(messages.find("/beyond.htm"), std::string::npos) << messages;
    EXPECT_NE(messages.find("/compressed.htm"), std::string::npos) << messages;
    // The failed entry keeps the old file; no partial or temporary file is left.
    EXPECT_EQ(snapshot(out), (std::map<std::string, std::string>{{"beyond.htm", "old bytes"},
                                                                 {"fine.htm", "fine"}}));
}

TEST(HhCrafted, TruncatedAndForeignInputsEndWithAStatus) {
    const std::string sample = readFile(dataFile("Guide.chm"));
    ASSERT_GT(sample.size(), 8000u);
    Scratch scratch;
    std::string messages;
    // Cut inside the header, inside the directory, inside the content.
    for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(0x50), std::size_t(0x100),
                            std::size_t(4000), sample.size() - 100}) {
        int status = decompileBytes(scratch / "cut", sample.substr(0, cut), messages);
        EXPECT_TRUE(status == kSomeNotWritten || status == kBadInput) << cut;
        EXPECT_FALSE(messages.empty()) << cut;
    }
    EXPECT_EQ(decompileBytes(scratch / "text", "just some text, not a help file", messages), kBadInput);
    EXPECT_FALSE(fs::exists(scratch / "text"));  // nothing is created for a foreign file
}

TEST(HhSamples, MemoryAndFileReadingAgree) {
    for (const char* name : {"Guide.chm", "Help.zh.chm", "Notes.chm"}) {
        Scratch scratch;
        const std::string bytes = readFile(dataFile(name));
        std::string messages;
        ASSERT_EQ(decompileBytes(scratch / "mem", bytes, messages), kAllWritten) << name << messages;
        std::ostringstream err;
        ASSERT_EQ(decompileFile(scratch / "file", dataFile(name), err), kAllWritten) << name << err.str();
        auto fromMemory = snapshot(scratch / "mem");
        EXPECT_GE(fromMemory.size(), 3u) << name;
        EXPECT_EQ(fromMemory, snapshot(scratch / "file")) << name;
    }
}

TEST(HhSamples, HeaderWithRepeatedFirstGuidIsRead) {
    // The samples repeat the first GUID; a file with the usual second GUID
    // must read the same.
    std::string bytes = readFile(dataFile("Notes.chm"));
    ASSERT_EQ(bytes.substr(0x18, 16), bytes.substr(0x28, 16));
    std::string usual = bytes;
    usual[0x28] = '\x11';
    Scratch scratch;
    std::string messages;
    ASSERT_EQ(decompileBytes(scratch / "a", bytes, messages), kAllWritten) << messages;
    ASSERT_EQ(decompileBytes(scratch / "b", usual, messages), kAllWritten) << messages;
    EXPECT_EQ(snapshot(scratch / "a"), snapshot(scratch / "b"));
    // Only the GUID is forgiven: a wrong signature is still no help file.
    std::string foreign = bytes;
    foreign[0] = 'X';
    EXPECT_EQ(decompileBytes(scratch / "c", foreign, messages), kBadInput);
}

TEST(HhExtents, RefusesSharedAndOutOfRangeDataOnly) {
    const std::uint64_t sections[2] = {100, 1000};
    const std::vector<Extent> extents = {
        {0, 0, 10},    // 0 fine
        {0, 10, 10},   // 1 fine: touching is no overlap
        {0, 30, 20},   // 2 overlaps 3 and 4
        {0, 45, 1},    // 3 inside 2
        {0, 49, 5},    // 4 overlaps 2 only
        {1, 30, 20},   // 5 fine: the same offsets in the other section
        {1, 30, 0},    // 6 fine: empty
        {0, 60, 40},   // 7 fine: ends at the section's end
        {0, 95, 6},    // 8 beyond its section
        {0, UINT64_MAX, 2},  // 9 beyond, not wrapped round
        {1, 500, 10},  // 10 and 11: the same data twice
        {1, 500, 10},
        {2, 0, 1},     // 12 no such section
    };
    const std::vector<std::string> reasons = checkExtents(extents, sections);
    ASSERT_EQ(reasons.size(), extents.size());
    for (std::size_t i : {0, 1, 5, 6, 7})
        EXPECT_EQ(reasons[i], "") << i;
    for (std::size_t i : {2, 3, 4, 10, 11})
        EXPECT_NE(reasons[i].find("重叠"), std::string::npos) << i << ": " << reasons[i];
    for (std::size_t i : {8, 9, 12})
        EXPECT_NE(reasons[i].find("超出"), std::string::npos) << i << ": " << reasons[i];

    const std::uint64_t unknown[2] = {100, 0};
    EXPECT_NE(checkExtents({{1, 0, 1}}, unknown)[0], "");
}

TEST(HhCrafted, NamesSharingDataOrReachingPastTheFileAreRefused) {
    Scratch scratch;
    const std::string chm = buildChm({
        {"/a.htm", std::string(1000, 'a')},
        {"/alias.htm", "", 0, -1000, 1000},  // a's bytes again
        {"/c.htm", "cccccccccc"},
        {"/inside.htm", "", 0, -5, 3},       // the middle of c's bytes
        {"/past.htm", "p", 0, 0, 1 << 20},
        {"/fine.htm", "fine"},
    });
    std::string messages;
    EXPECT_EQ(decompileBytes(scratch / "out", chm, messages), kSomeNotWritten);
    EXPECT_EQ(snapshot(scratch / "out"), (std::map<std::string, std::string>{{"fine.htm", "fine"}}));
    for (const char* name : {"/a.htm", "/alias.htm", "/c.htm", "/inside.htm", "/past.htm"})
        EXPECT_NE(messages.find(std::string(name) + ": "), std::string::npos) << name << " not named in:\n" << messages;
    EXPECT_EQ(messages.find("fine.htm"), std::string::npos);
}

namespace {

// The directory of a help file as libmspack reads it, content and format
// files alike, and the bytes of its stored section.
struct Directory {
    std::vector<PlacedEntry> entries;
    std::string sectionZero;
};

Directory readDirectory(const std::string& sample, const std::string& path) {
    // libmspack reads the header with the usual second GUID only.
    std::string bytes = readFile(sample);
    if (bytes.size() > 0x28)
        bytes[0x28] = '\x11';
    writeFile(path, bytes);
    Directory dir;
    mschm_decompressor* chmd = mspack_create_chm_decompressor(nullptr);
    mschmd_header* header = chmd ? chmd->open(chmd, path.c_str()) : nullptr;
    if (!header) {
        ADD_FAILURE() << "cannot read " << path;
    } else {
        for (mschmd_file* list : {header->files, header->sysfiles})
            for (mschmd_file* f = list; f; f = f->next)
                dir.entries.push_back({f->filename, f->section->id, std::uint64_t(f->offset), std::uint64_t(f->length)});
        dir.sectionZero = bytes.substr(std::size_t(header->sec0.offset));
        chmd->close(chmd, header);
    }
    if (chmd)
        mspack_destroy_chm_decompressor(chmd);
    return dir;
}

}  // namespace

TEST(HhCrafted, CompressedDataIsWrittenOnceAtMost) {
    // A real help file whose directory gains many more names for its
    // largest compressed page, and one name reaching past the end of the
    // compressed section: no byte is written twice, nothing beyond.
    Scratch scratch;
    Directory dir = readDirectory(dataFile("Guide.chm"), scratch / "usual.chm");
    ASSERT_FALSE(dir.entries.empty());
    std::uint64_t expanded = 0;
    const PlacedEntry* largest = nullptr;
    for (const PlacedEntry& e : dir.entries) {
        if (e.section == 1)
            expanded = std::max(expanded, e.offset + e.length);
        if (e.section == 1 && e.name.front() == '/' && !isInternalName(e.name) && (!largest || e.length > largest->length))
            largest = &e;
    }
    ASSERT_TRUE(largest);
    ASSERT_GT(largest->length, 100u);
    const PlacedEntry copied = *largest;
    for (int i = 0; i < 300; ++i)
        dir.entries.push_back({"/copy" + std::to_string(i) + ".htm", 1, copied.offset, copied.length});
    dir.entries.push_back({"/past.htm", 1, expanded, std::uint64_t(1) << 30});
    const std::string hostile = buildChm(dir.entries, dir.sectionZero);
    ASSERT_TRUE(writeFile(scratch / "hostile.chm", hostile));

    ProgramRun run = runProgram(hhProgram(), {"-decompile", scratch / "out", scratch / "hostile.chm"});
    EXPECT_EQ(run.status, kSomeNotWritten) << run.err;
    std::map<std::string, std::string> expected;
    ASSERT_EQ(decompileFile(scratch / "plain", dataFile("Guide.chm"), std::cerr), kAllWritten);
    expected = snapshot(scratch / "plain");
    ASSERT_EQ(expected.erase(copied.name.substr(1)), 1u);
    EXPECT_EQ(snapshot(scratch / "out"), expected);
    for (const std::string& name : {copied.name, std::string("/copy0.htm"), std::string("/copy299.htm"),
                                    std::string("/past.htm")})
        EXPECT_NE(run.err.find(name + ": "), std::string::npos) << name << " not named";
}
