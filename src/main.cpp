#include "app/cli.h"
#include "app/mdiform1.h"
#include "app/quitsignals.h"
#include "app/startup.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
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

}  // namespace

int main(int argc, char* argv[])
{
    // `kestrune COMMAND ...` runs one tool without a display and ends.
    if (kestrune::isCliCommand(argc, argv))
        return kestrune::runCliCommand(argc, argv);

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

    QApplication app(argc, argv);  // takes Qt's own options out of argv
    kestrune::prepareApplication(app);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);  // an unknown option is reported and ends the program
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s: unexpected argument '%s' (see --help)\n",
                     qPrintable(QCoreApplication::applicationName().toLower()),
                     qPrintable(parser.positionalArguments().first()));
        return 1;
    }

    kestrune::MDIForm1 window;
    const kestrune::QuitSignals quitSignals([&window] { window.quitProgram(); });
    window.MDIForm_Load();
    window.show();
    return app.exec();
}
