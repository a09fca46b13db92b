#include "shell/platform.h"

#include "shell/qtplatform.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kestrune {

namespace {
Platform* g_platform = nullptr;

Platform& qtPlatform()
{
    static QtPlatform instance;
    return instance;
}
}  // namespace

Platform& platform()
{
    return g_platform ? *g_platform : qtPlatform();
}

void setPlatform(Platform* p)
{
    g_platform = p;
}

QString convertDialogFilter(const QString& filter)
{
    if (filter.isEmpty())
        return QString();
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList pairs;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // Qt separates several patterns with blanks, the common dialog with ';'.
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        pairs << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns.trimmed());
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        pairs << parts.last();
    return pairs.join(QStringLiteral(";;"));
}

QString settingsAppName()
{
    const QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        return QStringLiteral("kestrune");
    return QFileInfo(path).completeBaseName();
}

}  // namespace kestrune
