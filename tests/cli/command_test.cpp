// The command table and how a command line is read against it, without
// starting the program.

#include "cli/cli.h"
#include "cli/command.h"

#include <QSet>

#include <gtest/gtest.h>

#include <vector>

using namespace kestrune;
using namespace kestrune::cli;

namespace {

// Reads `words` as the arguments after `kestrune NAME`.
std::optional<Parsed> parseWords(const char* name, std::vector<QByteArray> words, QString* error)
{
    std::vector<QByteArray> all{"kestrune", name};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (QByteArray& w : all)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const Command* command = findCommand(name);
    if (!command)
        return std::nullopt;
    return parse(*command, int(all.size()), argv.data(), error);
}

}  // namespace

// Each entry is found by its word, is told by its own usage, and runs.
TEST(CommandTable, EveryEntryIsReachableByItsWord)
{
    QSet<QByteArray> seen;
    for (const Command& command : commands()) {
        const QByteArray name(command.name);
        EXPECT_FALSE(seen.contains(name)) << "twice: " << command.name;
        seen.insert(name);
        EXPECT_EQ(findCommand(name), &command);
        EXPECT_TRUE(QByteArray(command.usage).startsWith(name + ' ')) << command.usage;
        EXPECT_NE(command.run, nullptr) << command.name;
        QByteArray word = name;
        char* argv[] = {const_cast<char*>("kestrune"), word.data(), nullptr};
        EXPECT_TRUE(isCliCommand(2, argv)) << command.name;
    }
    for (QByteArray word : {QByteArray("lgo"), QByteArray("COPY"), QByteArray("-h"), QByteArray("")}) {
        char* argv[] = {const_cast<char*>("kestrune"), word.data(), nullptr};
        EXPECT_FALSE(isCliCommand(2, argv)) << word.constData();
    }
    QByteArray help("help");
    char* argv[] = {const_cast<char*>("kestrune"), help.data(), nullptr};
    EXPECT_TRUE(isCliCommand(2, argv));
}

// Options are read as the command's entry declares them; what does not fit
// is an error that names it.
TEST(CommandTable, ReadsOptionsAsTheEntryDeclaresThem)
{
    struct Case {
        const char* command;
        std::vector<QByteArray> words;
        const char* error;  // nullptr: accepted
        QStringList args;
    };
    const Case cases[] = {
        {"copy", {"--pattern", "*.txt", "--no-overwrite", "a", "b"}, nullptr, {"a", "b"}},
        {"copy", {"--types=chm;doc", "a", "b"}, nullptr, {"a", "b"}},
        {"copy", {"--pattern", "*.*", "--", "--a", "-b"}, nullptr, {"--a", "-b"}},
        {"copy", {"--pattern", "*.*", "a"}, "参数个数不对", {}},
        {"copy", {"a", "b", "--pattern"}, "选项 --pattern 需要一个值", {}},
        {"copy", {"--no-overwrite=yes", "a", "b"}, "选项 --no-overwrite 不带值", {}},
        {"copy", {"--force", "a", "b"}, "未知选项 --force", {}},
        {"delete", {"--force", "--pattern", "*.*", "a"}, nullptr, {"a"}},
        {"register", {"a", "b", "c"}, nullptr, {"a", "b", "c"}},
        {"register", {}, "参数个数不对", {}},
        {"record", {"--help"}, nullptr, {}},
        {"dupes", {"--names", "x", "y", "--in", "z"}, nullptr, {}},
        {"log", {"extra"}, "参数个数不对", {}},
    };
    for (const Case& c : cases) {
        QString error;
        const std::optional<Parsed> p = parseWords(c.command, c.words, &error);
        const QByteArray what = QByteArray(c.command) + ' ' + QByteArray::number(qsizetype(c.words.size()));
        if (c.error) {
            EXPECT_FALSE(p) << what.constData();
            EXPECT_EQ(error, QString::fromUtf8(c.error)) << what.constData();
            continue;
        }
        ASSERT_TRUE(p) << what.constData() << ' ' << error.toStdString();
        EXPECT_EQ(p->args, c.args) << what.constData();
    }

    QString error;
    const std::optional<Parsed> copy = parseWords("copy", {"--types=chm;doc", "--no-overwrite", "a", "b"}, &error);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->value("--types"), QStringLiteral("chm;doc"));
    EXPECT_TRUE(copy->has("--no-overwrite"));
    EXPECT_FALSE(copy->has("--no-subfolders"));
    EXPECT_FALSE(copy->value("--pattern"));

    const std::optional<Parsed> dupes = parseWords("dupes", {"--names", "x", "y", "--in", "z", "w"}, &error);
    ASSERT_TRUE(dupes);
    EXPECT_EQ(dupes->lists.value(QStringLiteral("--names")), (QStringList{"x", "y"}));
    EXPECT_EQ(dupes->lists.value(QStringLiteral("--in")), (QStringList{"z", "w"}));
}

// A typing slip finds its command; a word far from every command finds none.
TEST(CommandTable, FindsTheNearestCommandOfASlip)
{
    const struct {
        const char* typed;
        const char* nearest;
    } cases[] = {
        {"lgo", "log"},       {"recrod", "record"}, {"dupe", "dupes"}, {"COPY", "copy"},
        {"hlep", "help"},     {"delte", "delete"},  {"wrd", "word"},   {"zzzzzz", ""},
        {"decompiler", "decompile"}, {"x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nearestCliCommand(QString::fromLatin1(c.typed)), QString::fromLatin1(c.nearest)) << c.typed;
}
