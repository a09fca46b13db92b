#pragma once

#include "core/documents/officeword.h"
#include "core/fs/fsnames.h"
#include "support/tempdir.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace kestrune::test {

inline QString wordHelperPath()
{
    return QStringLiteral(KESTRUNE_BIN_DIR "/kestrune-word");
}

// Copies a fixture from the test data into `dir` under `name`.
inline QString copyWordFixture(TempDir& dir, const QString& fixture, const QString& name)
{
    const QByteArray bytes = readBytes(QStringLiteral(KESTRUNE_TEST_DATA "/documents/") + fixture);
    EXPECT_FALSE(bytes.isEmpty()) << fixture.toStdString();
    return dir.write(name, bytes);
}

// Writes a file whose name (below `dir`) is given as raw bytes, which need
// not be UTF-8; its path as the program holds it (src/shell/fsnames.h).
inline QString writeRawName(const TempDir& dir, const QByteArray& relative, const QByteArray& bytes)
{
    const QByteArray path = encodeFileName(dir.path()) + '/' + relative;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0) << path.toStdString();
    if (fd >= 0) {
        EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }
    return decodeFileName(path);
}

// Starts the engine on the installed office. A missing office fails the
// test: the machines that run the tests have it.
inline std::unique_ptr<OfficeWordApplication> startWord()
{
    try {
        return std::make_unique<OfficeWordApplication>(nullptr, WordEngineLocation{wordHelperPath(), QString()});
    } catch (const WordError& e) {
        ADD_FAILURE() << "the document engine did not start: " << e.description().toStdString();
        return nullptr;
    }
}

// What an independent reader (msoffcrypto-tool and the zip package) finds
// in a document.
struct Protection {
    bool encrypted = false;
    bool decrypts = false;
    bool rejectsWrong = false;
    QString writeProtection;  // "none", "match" or "mismatch"
    bool template_ = false;     // Word 97-2003 header: a template
    bool encryptedFlag = false;  // Word 97-2003 header: encrypted
    bool editingRestriction = false;  // .docx: an enforced w:documentProtection
};

inline Protection inspect(const QString& file, const QString& openPassword, const QString& modifyPassword)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(KESTRUNE_TEST_DATA "/documents/word_check.py"), file, openPassword, modifyPassword});
    Protection p;
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "word_check.py failed: " << python.readAllStandardError().toStdString();
        return p;
    }
    const QJsonObject o = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    p.encrypted = o.value(QStringLiteral("encrypted")).toBool();
    p.decrypts = o.value(QStringLiteral("decrypts")).toBool();
    p.rejectsWrong = o.value(QStringLiteral("rejectsWrong")).toBool();
    p.writeProtection = o.value(QStringLiteral("writeProtection")).toString();
    p.template_ = o.value(QStringLiteral("template")).toBool();
    p.encryptedFlag = o.value(QStringLiteral("encryptedFlag")).toBool();
    p.editingRestriction = o.value(QStringLiteral("editingRestriction")).toBool();
    return p;
}

// Opens, sets both passwords, saves and closes, as the encryption window
// does; the failure description, or "" when all went well.
inline QString protect(WordApplication& app, const QString& file, const QString& openPassword,
                       const QString& modifyPassword)
{
    try {
        WordDocument* doc = app.openDocument(file, false);
        doc->setPassword(openPassword);
        doc->setWritePassword(modifyPassword);
        try {
            doc->save();
        } catch (const WordError& e) {
            doc->close();
            return e.description();
        }
        doc->close();
        return {};
    } catch (const WordError& e) {
        return e.description();
    }
}

}  // namespace kestrune::test
