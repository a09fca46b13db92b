#include "gui/common/qtplatform.h"

#include "core/fs/fso.h"
#include "core/fs/fsnames.h"
#include "core/system/rawargs.h"
#include "version.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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

QtPlatform& qtPlatform()
{
    static QtPlatform instance;
    return instance;
}

}  // namespace kestrune
