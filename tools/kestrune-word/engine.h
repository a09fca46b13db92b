#pragma once

#include "office.h"

#include <com/sun/star/lang/XComponent.hpp>

#include <QString>

#include <functional>
#include <map>
#include <optional>

#include <sys/stat.h>

namespace kw {

// A reason from the office for the user: its internal source locations and
// codes left out, its error classes said in words.
QString officeReason(const QString& message);

// The kinds of document whose passwords the engine can set.
enum class DocKind { Other, Doc, Docx };

// Asks for the current open password of an encrypted document; nothing
// when the user cancels.
using PasswordPrompt = std::function<std::optional<QString>(const QString& file)>;

// Opens, re-protects and saves Word documents in one office.
class Engine {
public:
    explicit Engine(Office& office) : office_(office) {}
    ~Engine();

    // Opens a document hidden and read-only; the id of the open document,
    // or -1 with the reason in *error.
    int open(const QString& file, const PasswordPrompt& prompt, QString* error);
    // Stores the document over its file with the given passwords ("" = none,
    // nothing = keep what it has). A temporary file beside the document is
    // written, checked by opening it again and renamed over the original.
    // "" when everything asked for was done, otherwise the reason. The file
    // may have been saved even when a part could not be done (*saved says).
    QString save(int id, const std::optional<QString>& openPassword, const std::optional<QString>& modifyPassword,
                 bool* saved);
    void close(int id);
    void closeAll();

    // How an office opening of a file finds its protection: the open
    // password is given only when the office asks for it.
    struct Probe {
        bool loaded = false;
        bool askedOpenPassword = false;
        bool wrongPassword = false;
        bool askedModifyPassword = false;
        bool editable = false;
        bool modifyPasswordInfo = false;  // the document carries a modify password
        QString filter;
        QString problem;
    };
    Probe probe(const QString& file, const std::optional<QString>& openPassword, bool readOnly);

private:
    // The file as it was when it was loaded: the saved copy replaces it only
    // while it is still that file with those contents.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
    };
    struct Doc {
        css::uno::Reference<css::lang::XComponent> component;
        QString file;  // exact bytes kept (src/shell/fsnames.h)
        QString filter;
        QString openPassword;  // the one it was opened with, "" if none
        Identity identity;
    };
    QString verify(const QString& file, DocKind kind, const QString& openPassword, const QString& modifyPassword);
    // "" while `now` is still the file that was loaded, else the reason.
    static QString changedSinceLoaded(const Doc& doc, const struct stat& now);
    // Whether the office has died; its documents go with it.
    bool officeDied();
    // An office to work with: the running one, or a new one when the last
    // one died. "" when there is one, else the reason.
    QString needOffice();

    Office& office_;
    std::map<int, Doc> docs_;
    int nextId_ = 1;
};

DocKind kindOfFilter(const QString& filter);
// The filter a document opened with `loadedFilter` is stored with.
QString saveFilter(const QString& loadedFilter);

// The write-protection hash of the Office Open XML format: SHA-512 over the
// salt and the UTF-16LE password, then spun with the iteration counter
// appended. Base64 of the result.
QByteArray writeProtectionHash(const QString& password, const QByteArray& salt, int spinCount);

}  // namespace kw
