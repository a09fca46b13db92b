#include "core/documents/officeword.h"

#include "core/fs/fsnames.h"
#include "core/system/platform.h"
#include "core/fs/programfolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <csignal>
#include <mutex>
#include <utility>
#include <sys/prctl.h>

namespace kestrune {

namespace {

const QString kHelperName = QStringLiteral("kestrune-word");

// The office may need a while to start on a busy machine; a document load
// is bounded by the helper itself, this only guards against a hung office.
constexpr int kStartTimeoutMs = 180000;
constexpr int kRequestTimeoutMs = 300000;
// How often a wait for the helper looks whether its batch was abandoned, and
// how long the helper then has to end before it is killed.
constexpr int kPollMs = 100;
constexpr int kAbandonGraceMs = 2000;

QString describeFile(const QString& file)
{
    return QDir::toNativeSeparators(displayFileName(file));
}

}  // namespace

QString defaultWordHelper()
{
    const QString beside = programFile(kHelperName);
    if (QFileInfo::exists(beside))
        return beside;
    const QString running = QDir(QCoreApplication::applicationDirPath()).filePath(kHelperName);
    if (QFileInfo::exists(running))
        return running;
    return beside;
}

namespace {
// Waits up to `ms` for the helper's next output. The instance is driven
// from a batch's own thread, which may wait.
bool waitForOutput(QProcess& helper, int ms)
{
    if (helper.bytesAvailable() > 0)
        return true;
    return helper.waitForReadyRead(ms);
}

// The factory is set on the window's thread and read by the runs' threads:
// it is taken under its lock and called outside it.
struct Factory {
    std::mutex mutex;
    WordFactory make;
};

Factory& factory()
{
    static Factory f;
    return f;
}
}  // namespace

std::unique_ptr<WordApplication> createWordApplication(QWidget* owner, const WordEngineLocation& where)
{
    if (where.helper.isEmpty() && where.officeFolder.isEmpty()) {
        WordFactory make;
        {
            std::lock_guard<std::mutex> lock(factory().mutex);
            make = factory().make;
        }
        if (make)
            return make(owner);
    }
    return std::make_unique<OfficeWordApplication>(owner, where);
}

void setWordFactory(WordFactory f)
{
    WordFactory old;
    {
        std::lock_guard<std::mutex> lock(factory().mutex);
        old = std::exchange(factory().make, std::move(f));
    }
}

OfficeWordApplication::OfficeWordApplication(QWidget* owner, const WordEngineLocation& where) : owner_(owner)
{
    const QString helper = where.helper.isEmpty() ? defaultWordHelper() : where.helper;
    const QFileInfo info(helper);
    if (!info.isFile() || !info.isExecutable())
        throw WordError(QStringLiteral("找不到文档引擎 %1,无法处理 Word 文档。请安装 kestrune-word 软件包"
                                       "(sudo apt install kestrune-word)。")
                            .arg(QDir::toNativeSeparators(helper)));

    QStringList args{QStringLiteral("--serve")};
    if (!where.officeFolder.isEmpty())
        args << QStringLiteral("--office") << where.officeFolder;
    helper_.setProgram(helper);
    helper_.setArguments(args);
    helper_.setProcessChannelMode(QProcess::SeparateChannels);
    // The helper (and with it the office) ends when this program ends, even
    // when it does not end politely.
    helper_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    helper_.start();
    if (!helper_.waitForStarted(30000))
        throw WordError(QStringLiteral("无法启动文档引擎 %1:%2")
                            .arg(QDir::toNativeSeparators(helper), helper_.errorString()));

    QJsonObject ready;
    try {
        ready = receive(kStartTimeoutMs);
    } catch (const WordError&) {
        const QString detail = QString::fromLocal8Bit(helper_.readAllStandardError()).trimmed();
        stopHelper();
        // Without the office's libraries the helper cannot even be loaded.
        if (detail.contains(QLatin1String("error while loading shared libraries")))
            throw WordError(QStringLiteral("没有安装 LibreOffice,文档引擎无法启动。请安装 LibreOffice Writer"
                                           "(Debian 软件包 libreoffice-writer)后再试。(%1)")
                                .arg(detail));
        throw WordError(QStringLiteral("文档引擎启动失败。%1").arg(detail));
    }
    if (!ready.value(QStringLiteral("ready")).toBool()) {
        stopHelper();
        throw WordError(ready.value(QStringLiteral("error")).toString());
    }
    startSeconds_ = ready.value(QStringLiteral("startSeconds")).toDouble();
}

OfficeWordApplication::~OfficeWordApplication()
{
    documents_.clear();
    if (abandoned()) {
        abandonHelper();
        return;
    }
    if (helper_.state() != QProcess::NotRunning) {
        try {
            send({{QStringLiteral("op"), QStringLiteral("quit")}});
        } catch (const WordError&) {
        }
        stopHelper();
    }
}

bool OfficeWordApplication::isRunning() const
{
    return helper_.state() == QProcess::Running;
}

qint64 OfficeWordApplication::helperProcessId() const
{
    return helper_.state() == QProcess::NotRunning ? 0 : helper_.processId();
}

void OfficeWordApplication::stopHelper()
{
    helper_.closeWriteChannel();
    if (helper_.state() != QProcess::NotRunning && !helper_.waitForFinished(15000)) {
        helper_.terminate();
        if (!helper_.waitForFinished(5000)) {
            helper_.kill();
            helper_.waitForFinished(5000);
        }
    }
}

void OfficeWordApplication::abandonHelper()
{
    helper_.closeWriteChannel();
    if (helper_.state() == QProcess::NotRunning)
        return;
    helper_.terminate();
    if (!helper_.waitForFinished(kAbandonGraceMs)) {
        helper_.kill();
        helper_.waitForFinished(5000);
    }
}

void OfficeWordApplication::failEngine(const QString& description)
{
    stopHelper();
    for (auto& doc : documents_)
        doc->markClosed();
    Q_EMIT Quit();
    throw WordError(description);
}

void OfficeWordApplication::send(const QJsonObject& message)
{
    if (helper_.state() != QProcess::Running)
        throw WordError(QStringLiteral("文档引擎已经退出"));
    QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact);
    line.append('\n');
    helper_.write(line);
    helper_.waitForBytesWritten(30000);
}

QJsonObject OfficeWordApplication::receive(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const int newline = buffer_.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = buffer_.left(newline);
            buffer_.remove(0, newline + 1);
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !doc.isObject())
                throw WordError(QStringLiteral("文档引擎的回答无法理解"));
            return doc.object();
        }
        if (helper_.state() != QProcess::Running) {
            buffer_.append(helper_.readAllStandardOutput());
            if (buffer_.contains('\n'))
                continue;
            throw WordError(QStringLiteral("文档引擎意外退出"));
        }
        if (deadline.hasExpired())
            throw WordError(QStringLiteral("文档引擎没有响应"));
        // The window that drives this instance goes: the request is given up
        // and the helper ended (what it was writing is not put in place).
        if (abandoned()) {
            abandonHelper();
            throw WordError(QStringLiteral("操作已取消"));
        }
        if (waitForOutput(helper_, int(qMin<qint64>(deadline.remainingTime(), kPollMs))))
            buffer_.append(helper_.readAllStandardOutput());
    }
}

QJsonObject OfficeWordApplication::call(const QJsonObject& request,
                                        const std::function<std::optional<QString>(const QJsonObject&)>& onAsk)
{
    try {
        send(request);
        while (true) {
            const QJsonObject answer = receive(kRequestTimeoutMs);
            if (!answer.contains(QStringLiteral("ask")))
                return answer;
            const std::optional<QString> reply = onAsk ? onAsk(answer) : std::nullopt;
            send({{QStringLiteral("answer"), reply ? QJsonValue(*reply) : QJsonValue(QJsonValue::Null)}});
        }
    } catch (const WordError& e) {
        failEngine(e.description());
    }
}

WordDocument* OfficeWordApplication::openDocument(const QString& fileName, bool /*confirmConversions*/)
{
    // Conversions are never confirmed: the office opens whatever it can read
    // without asking.
    if (!isRunning())
        throw WordError(QStringLiteral("文档引擎已经退出"));
    const QString file = QFileInfo(fileName).absoluteFilePath();
    bool cancelled = false;
    // A JSON string cannot carry a name that is not UTF-8: its exact bytes
    // go along.
    const QJsonObject answer =
        call({{QStringLiteral("op"), QStringLiteral("open")},
              {QStringLiteral("file"), displayFileName(file)},
              {QStringLiteral("fileBytes"), QString::fromLatin1(encodeFileName(file).toBase64())}},
             [this, &cancelled, &file](const QJsonObject&) -> std::optional<QString> {
                 const QString prompt = QStringLiteral("文档“%1”设有打开密码,请输入密码:").arg(describeFile(file));
                 const QString typed = askPassword(owner_, prompt);
                 if (typed.isEmpty()) {
                     cancelled = true;
                     return std::nullopt;
                 }
                 return typed;
             });
    if (!answer.value(QStringLiteral("ok")).toBool())
        throw WordError(answer.value(QStringLiteral("error")).toString(), cancelled);
    documents_.push_back(
        std::make_unique<OfficeWordDocument>(this, answer.value(QStringLiteral("doc")).toInt(), file));
    WordDocument* doc = documents_.back().get();
    Q_EMIT DocumentOpen(doc);
    return doc;
}

void OfficeWordApplication::quit()
{
    // An instance that has already ended cannot be asked to quit again.
    if (!isRunning())
        throw WordError(QStringLiteral("文档引擎已经退出"));
    try {
        send({{QStringLiteral("op"), QStringLiteral("quit")}});
        receive(60000);
    } catch (const WordError&) {
        // It ends either way.
    }
    stopHelper();
    for (auto& doc : documents_)
        doc->markClosed();
    Q_EMIT Quit();
}

void OfficeWordDocument::save()
{
    if (closed_)
        throw WordError(QStringLiteral("文档已经关闭"));
    const auto optional = [](const std::optional<QString>& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    const QJsonObject answer = app_->call({{QStringLiteral("op"), QStringLiteral("save")},
                                           {QStringLiteral("doc"), id_},
                                           {QStringLiteral("password"), optional(password_)},
                                           {QStringLiteral("writePassword"), optional(writePassword_)}});
    if (!answer.value(QStringLiteral("ok")).toBool())
        throw WordError(answer.value(QStringLiteral("error")).toString());
}

void OfficeWordDocument::close()
{
    if (closed_)
        return;
    closed_ = true;
    if (app_->isRunning())
        app_->call({{QStringLiteral("op"), QStringLiteral("close")}, {QStringLiteral("doc"), id_}});
}

}  // namespace kestrune
