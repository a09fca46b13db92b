#pragma once

#include "core/fs/fso.h"
#include "core/system/platform.h"
#include "core/batch/programrunner.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace kestrune {

// A help file is recognised by the last three characters of its name,
// "chm" in any letter case (Help.CHM and xchm are, Help.chm.bak is not).
bool isHelpFileName(const QString& name);
// The part of a name before its first dot (Help.en.chm gives Help).
QString helpBaseName(const QString& name);
// The destination as typed, blanks trimmed, with a closing separator.
QString destinationPrefix(const QString& text);
// The decompiler's arguments for one help file: the output folder (prefix,
// base name and a closing separator), then the help file.
QStringList decompileArguments(const QString& prefix, const QString& baseName, const QString& helpFile);

// One help file of a batch.
struct DecompileJob {
    QString helpFile;      // its full path
    QString name;          // its own name
    QString baseName;      // the name up to the first dot
    QString prefix;        // the destination prefix
    QString outputFolder;  // prefix + base name: where it is decompiled to
    int order = 0;         // its place in the batch
};
DecompileJob decompileJob(const File& helpFile, const QString& prefix);

// The help files of the folder at `folderPath` (with `recurse` of its whole
// tree, a folder's own files before its subfolders'), each with its
// decompile into `prefix`. `progress` is told of each folder and can stop
// the walk. A folder that cannot be opened has none.
struct HelpFiles {
    std::vector<DecompileJob> jobs;
    bool stopped = false;
};
HelpFiles findHelpFiles(const QString& folderPath, bool recurse, const QString& prefix, ProgressSink* progress = nullptr);

// Decompiles a list of help files with the decompiler program, several at
// once (up to `maxParallel`), except that help files sharing an output
// folder are decompiled one after another in the order they were added.
// When a help file's decompiler has ended, its help project is written
// (with `writeProjects`). A help file fails when its decompiler could not
// start or did not end with status 0, when it left no output folder, or
// when its project could not be written. A cancel starts no further
// decompile and ends those running (after the runner's grace); they are
// listed as cancelled and get no project.
class DecompileBatch : public QObject {
    Q_OBJECT
public:
    DecompileBatch(QString program, bool writeProjects, int maxParallel, QObject* parent = nullptr);

    void add(DecompileJob job);
    int size() const { return m_total; }

    // Starts the decompiles; finished() comes when every one has ended.
    void start();
    void cancel();
    bool cancelled() const { return m_runner.cancelled(); }
    ProgramRunner& runner() { return m_runner; }
    std::shared_ptr<ProgressSink> progress() const { return m_runner.progress(); }
    // One line per failed help file, in the order they were added: its
    // path, ": " and why.
    QStringList failures() const;
    // Whether the help file added as `order` failed (or was cancelled).
    bool failed(int order) const { return m_failures.count(order) != 0; }
    // The files left out of the help projects written (names a project
    // cannot hold), shown readable, in the order of their help files.
    QStringList unlisted() const;

Q_SIGNALS:
    void finished();

private:
    void ended(const DecompileJob& job, const ProgramOutcome& outcome);
    void fail(const DecompileJob& job, const QString& why);

    QString m_program;
    bool m_writeProjects;
    FileSystemObject m_fso;
    ProgramRunner m_runner;
    std::vector<DecompileJob> m_jobs;  // by the runner's index
    std::map<int, QString> m_failures;
    std::map<int, QStringList> m_unlisted;
    int m_total = 0;
};

}  // namespace kestrune
