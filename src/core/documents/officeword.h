#pragma once

#include "core/documents/wordapp.h"

#include <QJsonObject>
#include <QPointer>
#include <QProcess>
class QWidget;

#include <functional>
#include <optional>
#include <vector>

namespace kestrune {

class OfficeWordApplication;

class OfficeWordDocument : public WordDocument {
public:
    OfficeWordDocument(OfficeWordApplication* app, int id, QString file) : app_(app), id_(id), file_(std::move(file)) {}

    QString fullName() const override { return file_; }
    void setPassword(const QString& password) override { password_ = password; }
    void setWritePassword(const QString& password) override { writePassword_ = password; }
    void save() override;
    void close() override;

    bool isClosed() const { return closed_; }
    void markClosed() { closed_ = true; }

private:
    OfficeWordApplication* app_;
    int id_;
    QString file_;
    std::optional<QString> password_;
    std::optional<QString> writePassword_;
    bool closed_ = false;
};

// The word processor on LibreOffice: the helper kestrune-word runs the office
// and answers requests, one JSON object per line, on its standard input and
// output.
class OfficeWordApplication : public WordApplication {
    Q_OBJECT
public:
    OfficeWordApplication(QWidget* owner, const WordEngineLocation& where);
    ~OfficeWordApplication() override;

    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }
    WordDocument* openDocument(const QString& fileName, bool confirmConversions) override;
    void quit() override;
    bool isRunning() const override;

    // The office's start-up time as the helper measured it (seconds).
    double officeStartSeconds() const { return startSeconds_; }
    // The helper's process id (tests), 0 when none runs.
    qint64 helperProcessId() const;

    // One request and its answer; questions on the way go to `onAsk`, whose
    // answer (nothing = cancel) is sent back.
    QJsonObject call(const QJsonObject& request,
                     const std::function<std::optional<QString>(const QJsonObject&)>& onAsk = nullptr);

private:
    void send(const QJsonObject& message);
    QJsonObject receive(int timeoutMs);
    [[noreturn]] void failEngine(const QString& description);
    void stopHelper();
    void abandonHelper();

    QWidget* owner_ = nullptr;  // the window that owns the run, which outlives it
    QProcess helper_;
    QByteArray buffer_;
    bool visible_ = false;
    double startSeconds_ = 0;
    std::vector<std::unique_ptr<OfficeWordDocument>> documents_;
};

// Where the helper is looked for by default.
QString defaultWordHelper();

}  // namespace kestrune
