#include "support/scriptedplatform.h"

#include "core/system/rawargs.h"

#include <QTimer>

namespace kestrune::test {

QStringList ScriptedPlatform::messages() const
{
    QStringList out;
    for (const Interaction& i : log)
        if (i.kind == Interaction::Message)
            out << i.text;
    return out;
}

std::vector<Interaction> ScriptedPlatform::of(Interaction::Kind kind) const
{
    std::vector<Interaction> out;
    for (const Interaction& i : log)
        if (i.kind == kind)
            out.push_back(i);
    return out;
}

void ScriptedPlatform::messageBox(QWidget* owner, const QString& text, MsgIcon icon)
{
    log.push_back({Interaction::Message, text, icon, owner, {}, false});
    if (onMessage)
        onMessage(text);
}

QString ScriptedPlatform::inputBox(QWidget* owner, const QString& prompt, bool masked)
{
    log.push_back({Interaction::Input, prompt, MsgIcon::None, owner, {}, masked});
    if (inputs.empty())
        return QString();
    QString answer = inputs.front();
    inputs.pop_front();
    return answer;
}

void ScriptedPlatform::beep()
{
    log.push_back({Interaction::Beep, QString(), MsgIcon::None, nullptr, {}, false});
}

std::optional<QString> ScriptedPlatform::chooseFolder(QWidget* owner, const QString& title)
{
    log.push_back({Interaction::Folder, title, MsgIcon::None, owner, {}, false});
    if (folders.empty())
        return std::nullopt;
    const bool chosen = folders.front().has_value();
    const QString answer = chosen ? *folders.front() : QString();
    folders.pop_front();
    if (!chosen)
        return std::nullopt;
    return answer;
}

std::optional<QString> ScriptedPlatform::openFile(QWidget* owner, const QString& filter)
{
    log.push_back({Interaction::OpenFile, filter, MsgIcon::None, owner, {}, false});
    if (openFiles.empty())
        return std::nullopt;
    const bool chosen = openFiles.front().has_value();
    const QString answer = chosen ? *openFiles.front() : QString();
    openFiles.pop_front();
    if (!chosen)
        return std::nullopt;
    return answer;
}

QString ScriptedPlatform::saveFile(QWidget* owner, const QString& filter)
{
    log.push_back({Interaction::SaveFile, filter, MsgIcon::None, owner, {}, false});
    if (saveFiles.empty())
        return QString();
    QString answer = saveFiles.front();
    saveFiles.pop_front();
    return answer;
}

bool ScriptedPlatform::startProgram(const QString& program, const QStringList& arguments, WindowState)
{
    log.push_back({Interaction::Start, program, MsgIcon::None, nullptr, arguments, false});
    if (startRuns)
        return startDetachedProgram(program, arguments);
    return startSucceeds;
}

namespace {
// A run the test answers itself: its end is reported once the caller is back
// in the event loop.
class AnsweredRun : public RunningProgram {
public:
    AnsweredRun(QObject* context, ProgramEnd end, ProgramFinished finished) : RunningProgram(context)
    {
        QTimer::singleShot(0, this, [this, end, finished] {
            deleteLater();
            if (finished)
                finished(end);
        });
    }
    void terminate() override {}
    void kill() override {}
    bool waitForEnd(int) override { return true; }
};
}  // namespace

RunningProgram* ScriptedPlatform::runProgram(const QString& program, const QStringList& arguments, QObject* context,
                                             ProgramFinished finished)
{
    log.push_back({Interaction::Run, program, MsgIcon::None, nullptr, arguments, false});
    if (!answerRun)
        return runProgramWithQProcess(program, arguments, context, std::move(finished));
    return new AnsweredRun(context, answerRun(program, arguments), std::move(finished));
}

bool ScriptedPlatform::openUrl(const QString& address)
{
    log.push_back({Interaction::Url, address, MsgIcon::None, nullptr, {}, false});
    return urlSucceeds;
}

QString ScriptedPlatform::getSetting(const QString& appName, const QString& section, const QString& key,
                                     const QString& defaultValue)
{
    return settings.value(appName + QLatin1Char('/') + section + QLatin1Char('/') + key, defaultValue);
}

void ScriptedPlatform::saveSetting(const QString& appName, const QString& section, const QString& key,
                                   const QString& value)
{
    settings.insert(appName + QLatin1Char('/') + section + QLatin1Char('/') + key, value);
}

std::optional<RegistryValue> ScriptedPlatform::readRegistry(quint32 root, const QString& key,
                                                            const QString& valueName, quint32 access)
{
    if (root != kHKeyLocalMachine)
        return std::nullopt;
    auto it = registry.constFind(key);
    if (it == registry.constEnd())
        return std::nullopt;
    // The key opens only when every right asked for is granted.
    if ((access & ~it->grantedAccess) != 0)
        return std::nullopt;
    auto v = it->values.constFind(valueName);
    if (v == it->values.constEnd())
        return std::nullopt;
    return *v;
}

}  // namespace kestrune::test
