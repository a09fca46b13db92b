// The program as the decompiler window starts it: output compared with
// chmlib's extract_chmLib, replacing files, planted links, exit statuses and
// messages.

#include "chmbuilder.h"
#include "hhtestutil.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kestrune::hh::test;

namespace {

const char* const kSamples[] = {"Guide.chm", "Help.zh.chm", "Notes.chm"};

// What extract_chmLib writes, without the format's own files (root names
// beginning with "#" or "$").
std::map<std::string, std::string> referenceContent(const std::string& chm, const Scratch& scratch) {
    const std::string dir = scratch / "reference";
    ProgramRun ref = runProgram("/usr/bin/extract_chmLib", {chm, dir});
    EXPECT_EQ(ref.status, 0) << ref.err;
    std::map<std::string, std::string> files;
    for (auto& [name, bytes] : snapshot(dir))
        if (name[0] != '#' && name[0] != '$')
            files.emplace(name, bytes);
    return files;
}

}  // namespace

TEST(HhProgram, WritesWhatExtractChmLibWritesLessInternalFiles) {
    ASSERT_TRUE(fs::exists("/usr/bin/extract_chmLib")) << "install libchm-bin";
    for (const char* sample : kSamples) {
        Scratch scratch;
        const std::string chm = dataFile(sample);
        ProgramRun run = runProgram(hhProgram(), {"-decompile", scratch / "out/", chm});
        EXPECT_EQ(run.status, 0) << sample << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        auto reference = referenceContent(chm, scratch);
        EXPECT_GE(reference.size(), 3u) << sample;
        EXPECT_EQ(snapshot(scratch / "out"), reference) << sample;
    }
}

TEST(HhProgram, ChineseNameSurvivesAndSecondRunReplaces) {
    Scratch scratch;
    const std::string chm = dataFile("Help.zh.chm");
    const std::string out = scratch / "a b/输出";  // missing parents, a blank, Chinese
    ASSERT_EQ(runProgram(hhProgram(), {"-decompile", out, chm}).status, 0);
    const auto first = snapshot(out);
    ASSERT_EQ(first.count("主页.htm"), 1u);
    EXPECT_NE(first.at("主页.htm").find("<"), std::string::npos);

    // Change and shorten what the first run wrote; the second run puts it back.
    ASSERT_TRUE(writeFile(out + "/主页.htm", "x"));
    ASSERT_TRUE(writeFile(out + "/index.htm", std::string(100000, 'z')));
    ProgramRun again = runProgram(hhProgram(), {"-decompile", out + "/", chm});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(snapshot(out), first);
}

TEST(HhProgram, PlantedLinksDoNotRedirectWrites) {
    Scratch scratch;
    const std::string out = scratch / "out", victim = scratch / "victim";
    fs::create_directories(out);
    fs::create_directories(victim);
    ASSERT_TRUE(writeFile(victim + "/index.htm", "victim's own"));
    // A link where a file will be written, and one where a folder will be.
    fs::create_symlink(victim + "/index.htm", out + "/index.htm");
    fs::create_directory_symlink(victim, out + "/img");
    const std::string chm = scratch / "linked.chm";
    ASSERT_TRUE(writeFile(chm, buildChm({{"/index.htm", "hostile"},
                                         {"/img/a.gif", "hostile"},
                                         {"/other.htm", "fine"}})));

    ProgramRun run = runProgram(hhProgram(), {"-decompile", out, chm});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("/index.htm"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/img/a.gif"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(victim + "/index.htm"), "victim's own");
    EXPECT_FALSE(fs::exists(victim + "/a.gif"));
    EXPECT_EQ(readFile(out + "/other.htm"), "fine");
    EXPECT_TRUE(fs::is_symlink(out + "/index.htm"));
}

// The output folder itself a link (out/Help -> elsewhere): refused, naming
// the help file, and nothing reaches the link's target. A link above it is
// the user's own path and is followed.
TEST(HhProgram, AnOutputFolderThatIsALinkIsRefused) {
    Scratch scratch;
    const std::string out = scratch / "out", elsewhere = scratch / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, out + "/Help");
    const std::string chm = scratch / "Help.chm";
    ASSERT_TRUE(writeFile(chm, buildChm({{"/index.htm", "page"}})));

    for (const std::string& dir : {out + "/Help", out + "/Help/"}) {
        ProgramRun run = runProgram(hhProgram(), {"-decompile", dir, chm});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(chm), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("符号链接"), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(elsewhere));
    }

    fs::create_directory_symlink(out, scratch / "via");
    ProgramRun run = runProgram(hhProgram(), {"-decompile", scratch / "via/Notes/", chm});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(out + "/Notes/index.htm"), "page");
}

TEST(HhProgram, MissingAndForeignFilesEndWithStatusTwo) {
    Scratch scratch;
    ProgramRun missing = runProgram(hhProgram(), {"-decompile", scratch / "out", scratch / "none.chm"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("找不到帮助文件"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("none.chm"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(scratch / "out"));

    ASSERT_TRUE(writeFile(scratch / "readme.chm", "plain text, not compiled help"));
    for (const std::string& input : {scratch / "readme.chm", scratch.path()}) {
        ProgramRun foreign = runProgram(hhProgram(), {"-decompile", scratch / "out", input});
        EXPECT_EQ(foreign.status, 2) << input;
        EXPECT_EQ(foreign.out, "");
        EXPECT_NE(foreign.err.find("不是编译的帮助文件"), std::string::npos) << foreign.err;
    }
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

TEST(HhProgram, WrongArgumentsPrintTheUsageLine) {
    const std::string chm = dataFile("Notes.chm");
    Scratch scratch;
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"-decompile"},
        {"-decompile", scratch / "out"},
        {"-decompile", scratch / "out", chm, "extra"},
        {"-compile", scratch / "out", chm},
        {"decompile", scratch / "out", chm},
        {"-decompile", "", chm},
    };
    for (const auto& args : wrong) {
        ProgramRun run = runProgram(hhProgram(), args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "用法: kestrune-hh -decompile 输出文件夹 帮助文件.chm\n");
    }
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

TEST(HhProgram, UnusableOutputFolderIsStatusOne) {
    Scratch scratch;
    ASSERT_TRUE(writeFile(scratch / "file", "a file, not a folder"));
    ProgramRun run = runProgram(hhProgram(), {"-decompile", scratch / "file/out", dataFile("Notes.chm")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(scratch / "file/out"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(scratch / "file"), "a file, not a folder");
}
