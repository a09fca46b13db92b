#include "core/devtools/programlaunch.h"

#include "core/fs/fso.h"
#include "core/system/textutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace kestrune {

ProgramFile examineProgram(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {ProgramKind::NotStartable, file.errorString()};
    const QByteArray head = file.read(4);
    if (head.startsWith("MZ"))
        return {ProgramKind::Windows, QString()};
    const bool known = head == QByteArray("\x7f" "ELF", 4) || head.startsWith("#!");
    if (!known)
        return {ProgramKind::NotStartable, QStringLiteral("不是可以运行的程序")};
    if (::access(QFile::encodeName(path).constData(), X_OK) != 0)
        return {ProgramKind::NotStartable, QStringLiteral("文件没有执行权限")};
    return {ProgramKind::Native, QString()};
}

QString findWine()
{
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

QString winePrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty())
        return prefix;
    return QDir::homePath() + QStringLiteral("/.wine");
}

QString wineRootDrive(const QString& prefix)
{
    // Wine keeps its drives as links named "c:", "z:" ... in dosdevices.
    const QDir devices(prefix + QStringLiteral("/dosdevices"));
    const QStringList names = devices.entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (name.size() != 2 || name.at(1) != QLatin1Char(':') || !name.at(0).isLetter() || name.at(0).unicode() > 127)
            continue;
        const QFileInfo link(devices.filePath(name));
        if (link.isSymLink() && link.canonicalFilePath() == QStringLiteral("/"))
            return name.toUpper();
    }
    return QStringLiteral("Z:");
}

QString windowsPath(const QString& path, const QString& rootDrive)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString tail = absolute;
    tail.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return rootDrive + tail;
}

Launch compileLaunch(const QString& compiler, ProgramKind kind, const QString& wine, const QString& rootDrive,
                     const QString& project)
{
    if (kind == ProgramKind::Windows)
        return {wine, {compiler, QStringLiteral("/MAKE"), windowsPath(project, rootDrive)}};
    return {compiler, {QStringLiteral("/MAKE"), project}};
}

Launch registrationLaunch(const QString& wine, const QString& rootDrive, const QString& library)
{
    return {wine, {QStringLiteral("regsvr32"), QStringLiteral("/s"), windowsPath(library, rootDrive)}};
}

QString describeEnd(const ProgramEnd& end)
{
    if (!end.started)
        return QStringLiteral("无法启动:") + end.error;
    if (end.crashed)
        return QStringLiteral("异常结束:") + end.error;
    return QStringLiteral("退出代码 %1").arg(end.exitCode);
}

std::optional<QString> prepareCompiler(const QString& text, CompilerSetup& setup)
{
    setup = CompilerSetup();
    setup.compiler = trimBlanks(text);
    if (setup.compiler.isEmpty() || !FileSystemObject().FileExists(setup.compiler))
        return QStringLiteral("指定的编译器路径错误!");
    const ProgramFile program = examineProgram(setup.compiler);
    setup.kind = program.kind;
    setup.reason = program.reason;
    if (setup.kind == ProgramKind::Windows) {
        setup.wine = findWine();
        if (setup.wine.isEmpty())
            return QStringLiteral("运行Windows程序需要wine,请先安装wine!");
        setup.rootDrive = wineRootDrive(winePrefix());
    }
    return std::nullopt;
}

std::optional<QString> startCompile(const CompilerSetup& setup, const QString& project)
{
    if (setup.kind == ProgramKind::NotStartable)
        return setup.reason;
    const Launch launch = compileLaunch(setup.compiler, setup.kind, setup.wine, setup.rootDrive, project);
    if (!platform().startProgram(launch.program, launch.arguments, WindowState::Hidden))
        return QStringLiteral("系统拒绝启动该程序");
    return std::nullopt;
}

}  // namespace kestrune
