#include "core/system/sysinfo.h"

#include "core/fs/fso.h"
#include "core/system/platform.h"
#include "core/system/textcodec.h"

#include <QStandardPaths>

namespace kestrune {

const QString kMsInfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kMsInfoPathValue = QStringLiteral("PATH");
const QString kSharedToolsLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kSharedToolsMsInfoValue = QStringLiteral("MSINFO");
const QString kMsInfoProgramName = QStringLiteral("MSINFO32.EXE");
const QString kSysInfoUnavailable = QStringLiteral("此时系统信息不可用");

bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    const std::optional<RegistryValue> value = platform().readRegistry(KeyRoot, KeyName, SubKeyRef, kSysInfoKeyAccess);
    if (!value || value->data.size() > kRegistryValueBufferSize) {
        KeyVal.clear();
        return false;
    }
    if (value->type == kRegTypeString) {
        // The stored text ends at its first NUL; a value stored without one
        // is taken whole.
        QByteArray bytes = value->data;
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0)
            bytes.truncate(nul);
        KeyVal = decodeProgramText(bytes);
    } else if (value->type == kRegTypeDWord) {
        // Little-endian as stored; missing high bytes count as zero.
        quint32 number = 0;
        for (int i = 0; i < 4 && i < value->data.size(); ++i)
            number |= quint32(quint8(value->data.at(i))) << (8 * i);
        KeyVal = QString::number(number);
    }
    return true;
}

std::optional<QString> sysInfoFromRegistry()
{
    QString path;
    if (GetKeyValue(kHKeyLocalMachine, kMsInfoKey, kMsInfoPathValue, path))
        return path;
    QString folder;
    if (!GetKeyValue(kHKeyLocalMachine, kSharedToolsLocationKey, kSharedToolsMsInfoValue, folder))
        return std::nullopt;
    const QString program = joinPath(folder, kMsInfoProgramName);
    if (folder.isEmpty() || !FileSystemObject().FileExists(program))
        return std::nullopt;
    return program;
}

QStringList sysInfoCandidates()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"), QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor")};
}

QString sysInfoFromSearchPath(const QStringList& searchPaths)
{
    for (const QString& name : sysInfoCandidates()) {
        const QString found = QStandardPaths::findExecutable(name, searchPaths);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

bool startSysInfo(QWidget* owner)
{
    // Without a registry (Linux) the desktop's own tool is looked for.
    const std::optional<QString> named = sysInfoFromRegistry();
    const QString program = named ? *named : sysInfoFromSearchPath();
    if (!program.isEmpty() && platform().startProgram(program, QStringList(), WindowState::NormalFocus))
        return true;
    platform().messageBox(owner, kSysInfoUnavailable, MsgIcon::None);
    return false;
}

}  // namespace kestrune
