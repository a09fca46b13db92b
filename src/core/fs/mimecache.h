#pragma once

#include <QString>

#include <memory>

namespace kestrune {

// The type of a file by its name, as shared-mime-info's glob rules give it,
// with the answers kept. Most names only end in a known extension (or in
// none), and their type then depends on nothing but the longest such
// ending; those answers are looked up once and reused. Names that special
// rules could match (README*, Makefile.*, exact names, ...) are always
// looked up in full, so every answer is the database's own.
class MimeNameCache {
public:
    MimeNameCache();
    ~MimeNameCache();
    MimeNameCache(const MimeNameCache&) = delete;
    MimeNameCache& operator=(const MimeNameCache&) = delete;

    // The mime type name for a file name (no folder part).
    QString typeName(const QString& fileName);
    // Its description in the user's locale.
    QString comment(const QString& fileName);

    // How many lookups were answered from kept answers.
    qint64 hits() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The program's one cache (for the GUI thread).
MimeNameCache& mimeNameCache();

}  // namespace kestrune
