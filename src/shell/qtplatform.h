#pragma once

#include "shell/platform.h"

namespace kestrune {

// The platform on Qt: real dialogs, QProcess, QDesktopServices, QSettings.
// Linux has no registry, so readRegistry answers nothing here.
class QtPlatform : public Platform {
public:
    void messageBox(QWidget* owner, const QString& text, MsgIcon icon) override;
    QString inputBox(QWidget* owner, const QString& prompt, bool masked) override;
    void beep() override;
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title) override;
    std::optional<QString> openFile(QWidget* owner, const QString& filter) override;
    QString saveFile(QWidget* owner, const QString& filter) override;
    bool startProgram(const QString& program, const QStringList& arguments, WindowState state) override;
    void runProgram(const QString& program, const QStringList& arguments, QObject* context,
                    ProgramFinished finished) override;
    bool openUrl(const QString& address) override;
    QString getSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void saveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
    std::optional<RegistryValue> readRegistry(quint32 root, const QString& key, const QString& valueName,
                                              quint32 access) override;
};

}  // namespace kestrune
