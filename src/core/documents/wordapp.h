#pragma once

#include "core/batch/batchrunner.h"
#include "core/system/platform.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

class QWidget;

namespace kestrune {

// A failed operation of the word processor, with the description the
// window shows.
class WordError : public std::runtime_error {
public:
    // `cancelled`: the user cancelled a password prompt of the operation.
    explicit WordError(const QString& description, bool cancelled = false)
        : std::runtime_error(description.toStdString()), description_(description), cancelled_(cancelled)
    {
    }
    const QString& description() const { return description_; }
    bool cancelledByUser() const { return cancelled_; }

private:
    QString description_;
    bool cancelled_ = false;
};

// A document open in a word processor instance.
class WordDocument {
public:
    virtual ~WordDocument() = default;

    // The document's file.
    virtual QString fullName() const = 0;
    // Document.Password: the open password it will carry once saved ("" = none).
    virtual void setPassword(const QString& password) = 0;
    // Document.WritePassword: the modify password it will carry once saved ("" = none).
    virtual void setWritePassword(const QString& password) = 0;
    // Document.Save: writes the document back to its own file; throws WordError.
    virtual void save() = 0;
    // Document.Close.
    virtual void close() = 0;
};

// A word processor instance, driven as by automation. The signals are its
// events: DocumentOpen is raised for every document the instance opens
// while the open call for it is still in progress; Quit when the instance
// ends.
class WordApplication : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Application.Visible.
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    // Application.Documents.Open(FileName, ConfirmConversions): the opened
    // document (owned by the instance), or WordError. A document that needs
    // an open password asks the user for it, naming the document; when the
    // user cancels that prompt, the WordError says so (cancelledByUser).
    virtual WordDocument* openDocument(const QString& fileName, bool confirmConversions) = 0;
    // Application.Quit: ends the instance and raises Quit; WordError when
    // the instance has already ended.
    virtual void quit() = 0;
    // Whether the instance still runs.
    virtual bool isRunning() const = 0;

    // How the instance asks for a document's open password (answering ""
    // cancels). Without one it shows a masked input box owned by `owner`; a
    // batch on another thread sets one that asks on its window's thread.
    using PasswordPrompt = std::function<QString(const QString& prompt)>;
    void setPasswordPrompt(PasswordPrompt prompt) { m_prompt = std::move(prompt); }
    // A batch that drives the instance: once it is abandoned (its window
    // goes), a request in progress is given up and the instance ended.
    void setStopToken(const StopToken* stop) { m_stop = stop; }

protected:
    QString askPassword(QWidget* owner, const QString& prompt) const
    {
        return m_prompt ? m_prompt(prompt) : platform().inputBox(owner, prompt, true);
    }
    bool abandoned() const { return m_stop && m_stop->abandonRequested(); }

private:
    PasswordPrompt m_prompt;
    const StopToken* m_stop = nullptr;

Q_SIGNALS:
    void DocumentOpen(kestrune::WordDocument* document);
    void Quit();
};

// Where the engine's programs are; empty fields take the defaults: the
// helper kestrune-word beside the program, the office where it is installed.
struct WordEngineLocation {
    QString helper;
    QString officeFolder;
};

// Creates a new, separate instance (hidden). Its password prompts are owned
// by `owner`. Throws WordError with a description when the engine cannot be
// started, for example without LibreOffice installed.
std::unique_ptr<WordApplication> createWordApplication(QWidget* owner, const WordEngineLocation& where = {});

// Tests of the windows that use the engine put another engine in its place:
// while a factory is set, createWordApplication with the default location
// calls it. An empty factory goes back to the office engine.
using WordFactory = std::function<std::unique_ptr<WordApplication>(QWidget* owner)>;
void setWordFactory(WordFactory factory);

}  // namespace kestrune
