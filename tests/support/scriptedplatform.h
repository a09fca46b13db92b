#pragma once

#include "core/system/platform.h"

#include <QMap>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kestrune::test {

// What the program showed or asked for, in order.
struct Interaction {
    enum Kind { Message, Input, Beep, Folder, OpenFile, SaveFile, Start, Run, Url } kind;
    QString text;       // message or prompt text, dialog title or filter, program, address
    MsgIcon icon = MsgIcon::None;
    QPointer<QWidget> owner;
    QStringList arguments;  // of a started or run program
    bool masked = false;    // input box for a password
};

// The scripted double of the platform: answers what a user would from the
// queues a test fills, and records everything. An empty queue answers with a
// cancel, so no test can ever wait on a dialog.
class ScriptedPlatform : public Platform {
public:
    // Scripted answers.
    std::deque<std::optional<QString>> folders;  // nullopt = cancel
    std::deque<std::optional<QString>> openFiles;
    // "" = cancel. A name given is one the user has settled on: when it
    // names an existing file, the real save dialog has already asked before
    // replacing it and the user agreed.
    std::deque<QString> saveFiles;
    std::deque<QString> inputs;     // "" = cancel
    bool startSucceeds = true;
    // startProgram: with `startRuns` the program really starts, detached, as
    // the program starts it (tests put stub programs first on the PATH);
    // otherwise it answers `startSucceeds`.
    bool startRuns = false;
    bool urlSucceeds = true;
    // runProgram: by default the program really runs (tests put stub
    // programs first on the PATH); a test may answer every run itself.
    std::function<ProgramEnd(const QString& program, const QStringList& arguments)> answerRun;
    // Called when a message box is shown (after recording it), e.g. to look
    // at the window's state at that moment.
    std::function<void(const QString&)> onMessage;

    // The settings store: "app/section/key" -> value.
    QMap<QString, QString> settings;
    // The registry: key path -> rights the key can be opened with, and its values.
    struct RegKey {
        quint32 grantedAccess = 0xF003F;
        QMap<QString, RegistryValue> values;
    };
    QMap<QString, RegKey> registry;

    std::vector<Interaction> log;

    // Messages shown, in order (texts only).
    QStringList messages() const;
    // The interactions of one kind.
    std::vector<Interaction> of(Interaction::Kind kind) const;
    void clear() { log.clear(); }

    void messageBox(QWidget* owner, const QString& text, MsgIcon icon) override;
    QString inputBox(QWidget* owner, const QString& prompt, bool masked) override;
    void beep() override;
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title) override;
    std::optional<QString> openFile(QWidget* owner, const QString& filter) override;
    QString saveFile(QWidget* owner, const QString& filter) override;
    bool startProgram(const QString& program, const QStringList& arguments, WindowState state) override;
    RunningProgram* runProgram(const QString& program, const QStringList& arguments, QObject* context,
                               ProgramFinished finished) override;
    bool openUrl(const QString& address) override;
    QString getSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void saveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
    std::optional<RegistryValue> readRegistry(quint32 root, const QString& key, const QString& valueName,
                                              quint32 access) override;
};

// The double installed for the running test (a fresh one for every test).
ScriptedPlatform& scripted();

}  // namespace kestrune::test
