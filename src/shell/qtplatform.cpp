#include "shell/qtplatform.h"

#include "shell/fso.h"
#include "shell/fsnames.h"
#include "shell/rawargs.h"
#include "version.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QUrl>

namespace kestrune {

void QtPlatform::messageBox(QWidget* owner, const QString& text, MsgIcon icon)
{
    QMessageBox box(icon == MsgIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, owner);
    box.exec();
}

QString QtPlatform::inputBox(QWidget* owner, const QString& prompt, bool masked)
{
    bool ok = false;
    const QString text = QInputDialog::getText(owner, QString::fromLatin1(kAppTitle), prompt,
                                               masked ? QLineEdit::Password : QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

void QtPlatform::beep()
{
    QApplication::beep();
}

std::optional<QString> QtPlatform::chooseFolder(QWidget* owner, const QString& title)
{
    const QString dir = QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return normalizeFolderPath(fileNameFromQt(dir));
}

std::optional<QString> QtPlatform::openFile(QWidget* owner, const QString& filter)
{
    const QString qtFilter = convertDialogFilter(filter);
    const QString first = qtFilter.section(QStringLiteral(";;"), 0, 0);
    QString selected = first;
    const QString file = QFileDialog::getOpenFileName(owner, QString(), QString(), qtFilter, &selected);
    if (file.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(fileNameFromQt(file));
}

QString QtPlatform::saveFile(QWidget* owner, const QString& filter)
{
    const QString qtFilter = convertDialogFilter(filter);
    QString selected = qtFilter.section(QStringLiteral(";;"), 0, 0);
    const QString file = QFileDialog::getSaveFileName(owner, QString(), QString(), qtFilter, &selected);
    return QDir::toNativeSeparators(fileNameFromQt(file));
}

bool QtPlatform::startProgram(const QString& program, const QStringList& arguments, WindowState)
{
    // Window states have no meaning for a program started on Linux; the
    // program decides how it shows itself.
    return startDetachedProgram(program, arguments);
}

void QtPlatform::runProgram(const QString& program, const QStringList& arguments, QObject* context,
                            ProgramFinished finished)
{
    runProgramWithQProcess(program, arguments, context, std::move(finished));
}

bool QtPlatform::openUrl(const QString& address)
{
    return QDesktopServices::openUrl(QUrl(address));
}

QString QtPlatform::getSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle), appName);
    settings.beginGroup(section);
    return settings.value(key, defaultValue).toString();
}

void QtPlatform::saveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle), appName);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.sync();
}

std::optional<RegistryValue> QtPlatform::readRegistry(quint32, const QString&, const QString&, quint32)
{
    return std::nullopt;
}

}  // namespace kestrune
