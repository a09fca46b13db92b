#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kestrune::cli {

class Session;

// A command's options and arguments as given, names in their exact bytes.
struct Parsed {
    QStringList args;
    QSet<QString> flags;
    QHash<QString, QString> values;
    QHash<QString, QStringList> lists;
    bool has(const char* option) const { return flags.contains(QLatin1String(option)); }
    std::optional<QString> value(const char* option) const
    {
        const auto it = values.constFind(QLatin1String(option));
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
};

// Runs a command whose options were read; returns the exit status.
using Handler = int (*)(Session& session, const Parsed& options);

// One command: its word, what it accepts, its help and what runs it.
struct Command {
    const char* name;
    QStringList flags;   // options without a value
    QStringList values;  // options with one value
    QStringList lists;   // options followed by one or more values
    int minArgs;
    int maxArgs;  // -1: any number
    const char* usage;
    const char* help;
    Handler run;
};

// Every command, in the order `kestrune help` lists them (commands.cpp).
const std::vector<Command>& commands();

const Command* findCommand(const QByteArray& name);

// Reads argv[2..] as the options and arguments of `command`: nothing, with
// `error` set, when they do not fit it.
std::optional<Parsed> parse(const Command& command, int argc, char* argv[], QString* error);

// The command whose word is nearest to `word` (a typing slip: a letter
// missing, added, changed or two swapped); empty when none is near enough.
QString nearestCommand(const QString& word);

}  // namespace kestrune::cli
