#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace kestrune {

// Open a key with standard read rights together with every key-specific
// right: a key the user may only read counts as not found.
constexpr quint32 kSysInfoKeyAccess = 0x2003F;

// The longest value the registry query takes (bytes); a longer value cannot
// be read.
constexpr int kRegistryValueBufferSize = 1024;

// Where the registry names the system information program.
extern const QString kMsInfoKey;               // value "PATH": the program's full path
extern const QString kMsInfoPathValue;
extern const QString kSharedToolsLocationKey;  // value "MSINFO": the folder holding it
extern const QString kSharedToolsMsInfoValue;
extern const QString kMsInfoProgramName;       // the program's file name in that folder

// The message shown when no system information program can be started.
extern const QString kSysInfoUnavailable;

// Reads one registry value as text into `KeyVal`: a string value without
// its closing NUL, a 32-bit number as decimal digits; any other type leaves
// `KeyVal` as given. False (and `KeyVal` emptied) when the key cannot be
// opened with kSysInfoKeyAccess or the value cannot be read.
bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

// The system information program the registry names: the text under the
// first location, else the program in the folder under the second one when
// that file exists; nothing when neither gives one.
std::optional<QString> sysInfoFromRegistry();

// System information programs of Linux desktops, looked for on the PATH when
// the registry names none, in this order.
QStringList sysInfoCandidates();
// The first candidate found in `searchPaths` (the PATH when empty); "" when none.
QString sysInfoFromSearchPath(const QStringList& searchPaths = QStringList());

// Finds and starts the system information program (normal focused window,
// not waited for); when none is found or it cannot be started the user is
// told "此时系统信息不可用". True when a program was started.
bool startSysInfo(QWidget* owner);

}  // namespace kestrune
