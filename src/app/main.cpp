#include "app/commandline.h"
#include "cli/cli.h"
#include "app/mdiform1.h"
#include "core/system/quitsignals.h"
#include "app/startup.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kDesktopId[] = "org.kestrune.Kestrune";

void describeOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Kestrune: batch tools for files and folders.\n"
        "Qt's own options (-platform, -style, -display, -reverse ...) are accepted as well."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A drawing (.dwg) to open in the drawing viewer."),
                                 QStringLiteral("[FILE]"));
}

// As prepareApplication names it, without the windowing system.
void nameApplication()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kestrune::kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(kestrune::kVersionMajor)
                                                .arg(kestrune::kVersionMinor)
                                                .arg(kestrune::kVersionRevision));
}

// --help and --version print and end the program; they need no display, so
// they are answered before the windowing system is brought up.
bool asksForHelpOrVersion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Qt's own options, which QApplication takes out of the command line, each
// written with one dash or two: those followed by a value, then those alone.
const char* const kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "display", "session",
    "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon",
    "style", "stylesheet", "name", "visual", "ncols", "cmap", "inputstyle",
};
const char* const kQtFlags[] = {"reverse", "testability", "nograb", "dograb", "sync", "widgetcount"};

// The command line without Qt's own options, as the parser sees it once
// QApplication has taken them out.
QStringList withoutQtOptions(int argc, char* argv[])
{
    QStringList rest;
    if (argc > 0)
        rest << QString::fromLocal8Bit(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) {
            // Everything after it is an argument, not an option.
            for (; i < argc; ++i)
                rest << QString::fromLocal8Bit(argv[i]);
            break;
        }
        const char* name = arg[0] == '-' ? arg + (arg[1] == '-' ? 2 : 1) : nullptr;
        bool qtOwn = false;
        if (name && *name) {
            for (const char* option : kQtOptionsWithValue) {
                const size_t n = std::strlen(option);
                if (std::strncmp(name, option, n) == 0 && name[n] == '=') {
                    qtOwn = true;
                } else if (std::strcmp(name, option) == 0) {
                    qtOwn = true;
                    ++i;  // its value
                }
                if (qtOwn)
                    break;
            }
            for (const char* flag : kQtFlags)
                qtOwn = qtOwn || std::strcmp(name, flag) == 0;
            qtOwn = qtOwn || std::strncmp(name, "qmljsdebugger=", 14) == 0;
        }
        if (!qtOwn)
            rest << QString::fromLocal8Bit(arg);
    }
    return rest;
}

// Checks the command line before anything needs a display: an unknown option
// or an argument gets the reason and the usage on standard error, and the
// program ends with status 1 (with no display Qt could not even start).
void refuseUnusableArguments(int argc, char* argv[])
{
    QCommandLineParser parser;
    describeOptions(parser);
    const bool parsed = parser.parse(withoutQtOptions(argc, argv));
    // One file may be given: a drawing to open.
    if (parsed && parser.positionalArguments().size() <= 1)
        return;
    QCoreApplication core(argc, argv);
    nameApplication();
    const QString program = QCoreApplication::applicationName().toLower();
    if (!parsed) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(parser.errorText()));
    } else {
        std::fprintf(stderr, "%s: unexpected argument '%s'\n", qPrintable(program),
                     qPrintable(parser.positionalArguments().at(1)));
    }
    std::fputs(qPrintable(parser.helpText()), stderr);
    std::exit(1);
}

// The windows need a display: without one (no DISPLAY nor WAYLAND_DISPLAY,
// and no platform chosen) the program says so and ends with status 1,
// where Qt would abort.
void refuseWithoutDisplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "-platform", 9) == 0 || std::strncmp(argv[i], "--platform", 10) == 0)
            return;
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    std::fprintf(stderr, "kestrune: no display to show the windows on (DISPLAY is not set)\n");
    std::exit(1);
}

}  // namespace

int main(int argc, char* argv[])
{
    // `kestrune COMMAND ...` runs one tool without a display and ends.
    if (kestrune::isCliCommand(argc, argv))
        return kestrune::runCliCommand(argc, argv);
    if (const std::optional<int> refused = kestrune::refuseUnknownCommand(argc, argv))
        return *refused;

    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        nameApplication();
        QCommandLineParser parser;
        describeOptions(parser);
        // Qt's options are unknown here: they do not stop the answer.
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        parser.showHelp(0);
    }
    refuseUnusableArguments(argc, argv);
    refuseWithoutDisplay(argc, argv);

    QApplication app(argc, argv);  // takes Qt's own options out of argv
    kestrune::prepareApplication(app);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);  // an unknown option is reported and ends the program

    kestrune::MDIForm1 window;
    const kestrune::QuitSignals quitSignals([&window] { window.quitProgram(); });
    window.MDIForm_Load();
    window.show();
    kestrune::openFromCommandLine(window, parser.positionalArguments());
    return app.exec();
}
