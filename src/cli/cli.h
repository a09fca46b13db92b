#pragma once

#include <QString>

namespace kestrune {

// `kestrune COMMAND ...`: every tool from the command line, without a
// display. Whether the arguments name a command (the first one is one of
// the command words, or "help").
bool isCliCommand(int argc, char* argv[]);

// Runs the command with a QCoreApplication of its own and returns the exit
// status: 0 everything done, 1 some files failed (each named on standard
// error), 2 a usage error, 128 + the signal when SIGINT or SIGTERM cancelled
// the run.
int runCliCommand(int argc, char* argv[]);

// The command word nearest to `word`, as a typing slip of it ("lgo" is
// "log"); empty when no command is near.
QString nearestCliCommand(const QString& word);

}  // namespace kestrune
