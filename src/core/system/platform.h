#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace kestrune {

enum class MsgIcon { None, Information };

// How a started program's window is shown.
enum class WindowState { Hidden, NormalFocus, MinimizedFocus, MaximizedFocus, NormalNoFocus, MinimizedNoFocus };

// A registry value as the registry stores it.
struct RegistryValue {
    quint32 type = 0;  // 1 = string, 4 = 32-bit number, others as stored
    QByteArray data;   // the raw bytes (a string as stored text, a number little-endian)
};

constexpr quint32 kHKeyLocalMachine = 0x80000002u;
constexpr quint32 kRegTypeString = 1;
constexpr quint32 kRegTypeDWord = 4;

// How a program started with Platform::runProgram ended.
struct ProgramEnd {
    bool started = false;      // false: it could not be started; `error` says why
    bool crashed = false;      // it was ended by a signal; `error` says so
    int exitCode = -1;         // its exit status when it ended normally
    QString error;             // why it could not start, or how it crashed
    QByteArray standardError;  // what it wrote on standard error
    bool ok() const { return started && !crashed && exitCode == 0; }
};
using ProgramFinished = std::function<void(const ProgramEnd&)>;

// Of what a started program writes on standard error only this much is kept
// (its start, which says what went wrong); the rest is read and dropped.
constexpr int kStandardErrorLimit = 64 * 1024;

// A program started with Platform::runProgram, while it runs.
class RunningProgram : public QObject {
public:
    using QObject::QObject;
    // Asks it to end (SIGTERM).
    virtual void terminate() = 0;
    // Ends it at once (SIGKILL).
    virtual void kill() = 0;
    // Waits up to `ms` for it to end; blocks the thread (shut-down only).
    virtual bool waitForEnd(int ms) = 0;
};

// Everything that blocks on the user or leaves the process goes through this
// interface: message and input boxes, the beep, the folder and file dialogs,
// starting programs, opening web addresses, the settings store and the
// registry. The program uses the Qt implementation; tests install a scripted
// double.
class Platform {
public:
    virtual ~Platform() = default;

    // A message box with the application's title and one OK button.
    virtual void messageBox(QWidget* owner, const QString& text, MsgIcon icon) = 0;
    // An input box with the application's title and an empty default; a
    // cancel gives "". With `masked` the typed text is hidden (passwords).
    virtual QString inputBox(QWidget* owner, const QString& prompt, bool masked = false) = 0;
    virtual void beep() = 0;

    // The folder picker: a native path without closing separator (except the
    // root), or nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(QWidget* owner, const QString& title) = 0;
    // The open dialog with a filter in the "description|pattern|..." form;
    // nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget* owner, const QString& filter) = 0;
    // The save dialog, always starting with an empty file name; "" on cancel.
    // It asks before returning the name of an existing file (Qt's dialog
    // confirms replacing by itself).
    virtual QString saveFile(QWidget* owner, const QString& filter) = 0;

    // Starts a program without waiting for it; false when it cannot be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments, WindowState state) = 0;
    // Starts a program and calls `finished` on this thread when it has ended
    // or could not be started (never from inside this call). `context` owns
    // the run: when it is destroyed first, the program is killed and
    // `finished` is not called. Its standard output is discarded. Returns the
    // running program (a child of `context`, gone once `finished` was called).
    virtual RunningProgram* runProgram(const QString& program, const QStringList& arguments, QObject* context,
                                       ProgramFinished finished) = 0;
    // Opens a web address with the desktop's handler; false when that fails.
    virtual bool openUrl(const QString& address) = 0;

    // The per-user settings store.
    virtual QString getSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue) = 0;
    virtual void saveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value) = 0;

    // Reads one registry value; nothing when the key cannot be opened with
    // `access` or the value cannot be read. Platforms without a registry
    // answer nothing.
    virtual std::optional<RegistryValue> readRegistry(quint32 root, const QString& key, const QString& valueName,
                                                      quint32 access) = 0;
};

// A platform without windows: messages go to standard error and every
// question is answered as a cancel; programs, web addresses, the settings
// store and the registry work as in the windows.
class HeadlessPlatform : public Platform {
public:
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

// The platform the program talks to: the one installed, else the default
// (the windows' platform once the application has set it up), else the
// headless platform.
Platform& platform();
// Installs another platform (tests); nullptr goes back to the default.
void setPlatform(Platform* p);
// The platform used while none is installed.
void setDefaultPlatform(Platform* p);

// runProgram on QProcess: the Qt platform's, and the one test doubles hand
// real runs to.
RunningProgram* runProgramWithQProcess(const QString& program, const QStringList& arguments, QObject* context,
                                       ProgramFinished finished);

// Converts a filter in the "description|pattern|description|pattern" form
// into Qt's "description (pattern);;..." form.
QString convertDialogFilter(const QString& filter);

// The application name under which the settings store keeps this program's
// values: the executable's base name without extension.
QString settingsAppName();

}  // namespace kestrune
