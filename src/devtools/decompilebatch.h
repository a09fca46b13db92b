#pragma once

#include "shell/fso.h"
#include "shell/platform.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>

class QEventLoop;

namespace kestrune {

class BatchProgress;

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

// Decompiles a list of help files with the decompiler program, several at
// once (up to `maxParallel`), except that help files sharing an output
// folder are decompiled one after another in the order they were added.
// When a help file's decompiler has ended, its help project is written
// (with `writeProjects`). A help file fails when its decompiler could not
// start or did not end with status 0, when it left no output folder, or
// when its project could not be written.
class DecompileBatch : public QObject {
    Q_OBJECT
public:
    DecompileBatch(QString program, bool writeProjects, int maxParallel, QObject* parent = nullptr);

    void add(DecompileJob job);
    int size() const { return m_total; }

    // Runs the batch to its end, letting events through while decompilers
    // run. A cancel in `progress` starts nothing new; the decompilers that
    // run are let end and their projects written.
    void run(BatchProgress& progress);

    bool cancelled() const { return m_cancelled; }
    // One line per failed help file, in the order they were added: its
    // path, ": " and why.
    QStringList failures() const;
    // The files left out of the help projects written (names a project
    // cannot hold), shown readable, in the order of their help files.
    QStringList unlisted() const;

private:
    void startMore();
    void start(const DecompileJob& job);
    void ended(const DecompileJob& job, const ProgramEnd& end);
    void fail(const DecompileJob& job, const QString& why);

    QString m_program;
    bool m_writeProjects;
    int m_maxParallel;
    FileSystemObject m_fso;
    std::deque<DecompileJob> m_pending;
    QSet<QString> m_busyFolders;
    std::map<int, QString> m_failures;
    std::map<int, QStringList> m_unlisted;
    QString m_doing;
    BatchProgress* m_progress = nullptr;
    QEventLoop* m_drainLoop = nullptr;
    int m_total = 0;
    int m_running = 0;
    int m_ended = 0;
    bool m_cancelled = false;
};

}  // namespace kestrune
