#pragma once

#include "core/documents/wordapp.h"
#include "core/batch/batchrunner.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace kestrune {

// What a run of the Word encryption window does, as its controls read when
// it started.
struct WordRunInputs {
    QStringList documents;  // the list's entries
    QString password;       // the open password ("" removes it)
    QString writePassword;  // the modify password ("" removes it)
};

struct WordRunResult {
    bool engineFailed = false;  // the instance could not be created
    QString engineError;        // why
    bool emptyList = false;     // nothing to do
    int handled = 0;            // documents handled (the first ones of the list)
    bool cancelled = false;     // stopped before the end of the list
    // The engine kept ending (or could not be started again): the documents
    // after the first `handled` were not tried; `notTriedReason` says why.
    bool gaveUp = false;
    QString notTriedReason;
    int restarts = 0;           // new instances started after one had ended
};

// The text that names the documents of `documents` a run did not try
// (those after the first result.handled); empty when it tried them all.
QString notTriedText(const WordRunResult& result, const QStringList& documents);

// One run of the Word encryption: creates a hidden instance, opens each
// document in turn (the instance's DocumentOpen sets its passwords, saves
// and closes it) and quits the instance. Runs on a batch's thread: the lines
// of the information box go through `progress`, and so do the password
// prompts (`askPassword` runs on the window's thread).
class WordRun : public QObject {
    Q_OBJECT
public:
    // How often comp tries to open a document before it gives up.
    static constexpr int kAttempts = 3;
    // How many new instances a run starts after one has ended by itself
    // before it gives up on the rest of the list.
    static constexpr int kRestarts = 3;

    WordRun(WordRunInputs inputs, ProgressSink& progress, WordApplication::PasswordPrompt askPassword);
    ~WordRun() override;

    WordRunResult run();

    // Opens one document, which wordapp_DocumentOpen handles; the line for
    // the information box when it could not be opened.
    std::optional<QString> comp(const QString& path);

public Q_SLOTS:
    void wordapp_DocumentOpen(kestrune::WordDocument* document);
    void wordapp_Quit();

private:
    // Creates the instance and connects its events; throws WordError.
    void startInstance();
    // Before a document: an instance that has ended by itself is replaced.
    // False (with the reason in `result`) when the run must give up.
    bool replaceEndedInstance(WordRunResult& result);
    void quitInstance();

    WordRunInputs m_inputs;
    ProgressSink& m_progress;
    WordApplication::PasswordPrompt m_askPassword;
    std::unique_ptr<WordApplication> m_wordapp;
};

}  // namespace kestrune
