#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace kestrune {
class frmmove;
}

namespace kestrune::bench {

// The command line of a benchmark: its positional arguments and the values of
// its options.
struct BenchArguments {
    QStringList positional;
    QMap<QString, QString> options;  // "--move-to" -> its value
};
// Reads the command line before anything else (call it before the
// application object, which would take Qt's own options). -h and --help
// print `usage` and end the program with status 0. Any other argument that
// starts with "-" must be one of `valueOptions` (each followed by its value);
// otherwise, or with more than `maxPositional` positional arguments, the
// program ends with the usage on standard error and status 2, so that no
// option is ever taken as a file or folder. "--" ends the options.
BenchArguments readBenchArguments(int argc, char** argv, const char* usage, int maxPositional,
                                  const QStringList& valueOptions = {});
// Positional argument `index` as a number of at least 1, or `fallback` when
// it is not given; anything else ends the program as above.
int countArgument(const BenchArguments& args, int index, int fallback, const char* usage);

// Seconds taken by `work`.
double timeSeconds(const std::function<void()>& work);
// A text quoted for /bin/sh as one word.
QString shellQuote(const QString& text);
// Seconds taken by a shell command (run with /bin/sh -c); negative when it failed.
double timeCommand(const QString& command);
double median(std::vector<double> values);
// Processor time (user and system) used so far by this process, and by the
// children it has waited for (with their own waited-for children). Timings on
// a busy machine are fairer in processor time than in wall time.
double cpuSeconds();
double childCpuSeconds();

// Generates `files` files spread evenly over `folders` folders (nested a few
// levels deep) under `root`; every `typeEvery`-th file is named *`typeExt`
// (the first `typeLimit` of them when it is not negative), the others get
// other extensions. Each file holds a few bytes.
void generateTree(const QString& root, int files, int folders, int typeEvery = 4,
                  const QString& typeExt = QStringLiteral(".txt"), int typeLimit = -1);

// Writes the source of a help file for chmcmd under `root`: `pages` pages of
// about 10 KB of prose-like text (the same on every run) spread over
// `folders` folders, a contents file toc.hhc and the project big.hhp, which
// compiles to big.chm. Returns the project's path ("" when a file could not
// be written) and the bytes of page content in `contentBytes`.
QString generateHelpProject(const QString& root, int pages, int folders, qint64& contentBytes);

// Lets the event loop run until no batch and no program run of the program
// is left (a click on a batch's button only starts it).
void waitForBatches();
// Runs `start` (which starts a batch) and returns the seconds until the
// batch has ended and its result was delivered.
double timeBatch(const std::function<void()>& start);

// The files (hidden ones too) of the tree of `root` whose names match
// `pattern`.
int countFiles(const QString& root, const QString& pattern = QStringLiteral("*"));
// Runs a shell command; false when it failed.
bool run(const QString& command);
// `tree` made a fresh copy of `templ`, written out to disk before anything
// is timed (a delete right after the copy would otherwise wait for its
// write-back).
bool freshTree(const QString& templ, const QString& tree);

// The batch file manager set up as a user would for one batch on the *.txt
// files of `source` and its subfolders: option `option` (0 move, 1 copy,
// 2 delete), `destination`, replacing.
void prepareFileManager(frmmove& w, const QString& source, int option, const QString& destination);

// Prints one result line: name, our time, the reference time, and the ratio.
void report(const QString& name, double ours, double reference);

}  // namespace kestrune::bench
