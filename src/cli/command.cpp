#include "cli/cli.h"

#include "cli/command.h"
#include "cli/output.h"
#include "cli/session.h"
#include "core/fs/fsnames.h"
#include "version.h"

#include <QCoreApplication>

#include <algorithm>

namespace kestrune {

namespace cli {

const Command* findCommand(const QByteArray& name)
{
    for (const Command& command : commands())
        if (name == command.name)
            return &command;
    return nullptr;
}

namespace {

const QStringList& commonFlags()
{
    static const QStringList flags{QStringLiteral("-0"), QStringLiteral("--null"), QStringLiteral("-h"),
                                   QStringLiteral("--help")};
    return flags;
}

void printUsage(const Command& info, bool full)
{
    QByteArray text = QByteArray("用法: kestrune ").append(info.usage).append('\n');
    if (full) {
        text += QByteArray(info.help) + '\n';
        text += "  -0, --null  结果以NUL分隔(名称中可含换行)\n";
    }
    writeStream(stdout, text);
}

int helpCommand(const QByteArray& about)
{
    if (const Command* info = findCommand(about)) {
        printUsage(*info, true);
        return kExitOk;
    }
    writeStream(stdout, QStringLiteral("Kestrune %1.%2.%3: 文件批量工具。\n"
                                       "不带命令时启动窗口;带命令时在命令行上运行该工具,不需要显示器:\n\n")
                            .arg(kVersionMajor)
                            .arg(kVersionMinor)
                            .arg(kVersionRevision)
                            .toUtf8());
    for (const Command& info : commands())
        writeStream(stdout, QByteArray("  kestrune ").append(info.usage).append('\n'));
    writeStream(stdout, QStringLiteral("\n结果写到标准输出,每行一个(-0 以NUL分隔);消息和失败写到标准错误。\n"
                                       "退出状态: 0 全部完成, 1 有文件失败, 2 用法错误, 128+信号号 被 Ctrl-C 或 SIGTERM 取消。\n"
                                       "kestrune COMMAND --help 显示该命令的说明。\n")
                            .toUtf8());
    return about.isEmpty() ? kExitOk : kExitUsage;
}

}  // namespace

// Options and arguments in their exact bytes: names that are not UTF-8 stay
// reachable.
std::optional<Parsed> parse(const Command& info, int argc, char* argv[], QString* error)
{
    Parsed p;
    QString list;  // the list option being filled
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (!optionsEnded && raw == "--") {
            optionsEnded = true;
            list.clear();
            continue;
        }
        if (!optionsEnded && raw.startsWith('-') && raw.size() > 1) {
            QString name = QString::fromUtf8(raw);
            std::optional<QString> inlineValue;
            if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0 && name.startsWith(QLatin1String("--"))) {
                inlineValue = decodeFileName(raw.mid(eq + 1));
                name = name.left(eq);
            }
            list.clear();
            if (commonFlags().contains(name) || info.flags.contains(name)) {
                if (inlineValue) {
                    *error = QStringLiteral("选项 %1 不带值").arg(name);
                    return std::nullopt;
                }
                p.flags.insert(name);
            } else if (info.values.contains(name)) {
                if (!inlineValue) {
                    if (i + 1 >= argc) {
                        *error = QStringLiteral("选项 %1 需要一个值").arg(name);
                        return std::nullopt;
                    }
                    inlineValue = decodeFileName(argv[++i]);
                }
                p.values.insert(name, *inlineValue);
            } else if (info.lists.contains(name)) {
                list = name;
                p.lists[name];  // present, perhaps empty
                if (inlineValue)
                    p.lists[name] << *inlineValue;
            } else {
                *error = QStringLiteral("未知选项 %1").arg(name);
                return std::nullopt;
            }
            continue;
        }
        if (!list.isEmpty())
            p.lists[list] << decodeFileName(raw);
        else
            p.args << decodeFileName(raw);
    }
    if (p.has("-h") || p.has("--help"))
        return p;
    if (p.args.size() < info.minArgs || (info.maxArgs >= 0 && p.args.size() > info.maxArgs)) {
        *error = QStringLiteral("参数个数不对");
        return std::nullopt;
    }
    return p;
}


QString nearestCommand(const QString& word)
{
    // Optimal string alignment distance: a swap of two neighbours is one slip.
    auto distance = [](const QString& a, const QString& b) {
        std::vector<std::vector<int>> d(size_t(a.size() + 1), std::vector<int>(size_t(b.size() + 1)));
        for (qsizetype i = 0; i <= a.size(); ++i)
            d[size_t(i)][0] = int(i);
        for (qsizetype j = 0; j <= b.size(); ++j)
            d[0][size_t(j)] = int(j);
        for (qsizetype i = 1; i <= a.size(); ++i) {
            for (qsizetype j = 1; j <= b.size(); ++j) {
                const size_t x = size_t(i);
                const size_t y = size_t(j);
                const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
                d[x][y] = std::min({d[x - 1][y] + 1, d[x][y - 1] + 1, d[x - 1][y - 1] + cost});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[x][y] = std::min(d[x][y], d[x - 2][y - 2] + 1);
            }
        }
        return d[size_t(a.size())][size_t(b.size())];
    };
    const QString typed = word.toLower();
    QString nearest;
    int best = 0;
    for (const QString& name : [] {
             QStringList names{QStringLiteral("help")};
             for (const Command& command : commands())
                 names << QString::fromLatin1(command.name);
             return names;
         }()) {
        const int d = distance(typed, name);
        // At most one slip in a short word, two in a longer one.
        if (d > (name.size() <= 4 ? 1 : 2))
            continue;
        if (nearest.isEmpty() || d < best) {
            nearest = name;
            best = d;
        }
    }
    return nearest;
}

}  // namespace cli

using namespace cli;

bool isCliCommand(int argc, char* argv[])
{
    if (argc < 2)
        return false;
    const QByteArray word(argv[1]);
    return word == "help" || findCommand(word) != nullptr;
}

QString nearestCliCommand(const QString& word)
{
    return nearestCommand(word);
}

int runCliCommand(int argc, char* argv[])
{
    const QByteArray word(argv[1]);
    if (word == "help")
        return helpCommand(argc > 2 ? QByteArray(argv[2]) : QByteArray());
    const Command& command = *findCommand(word);

    // No display and no Qt options: the arguments are all the command's.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));

    QString error;
    const std::optional<Parsed> parsed = parse(command, argc, argv, &error);
    if (!parsed) {
        message(error);
        printUsage(command, false);
        return kExitUsage;
    }
    const Parsed& p = *parsed;
    if (p.has("-h") || p.has("--help")) {
        printUsage(command, true);
        return kExitOk;
    }
    setNullSeparated(p.has("-0") || p.has("--null"));

    Session session(app);
    const int code = command.run(session, p);
    std::fflush(stdout);
    return code;
}

}  // namespace kestrune
