#pragma once

#include "core/system/platform.h"

namespace kestrune {

// The platform of the windows: real message boxes and dialogs on Qt; starting
// programs, web addresses, the settings store and the registry as the
// headless platform has them.
class QtPlatform : public HeadlessPlatform {
public:
    void messageBox(QWidget* owner, const QString& text, MsgIcon icon) override;
    QString inputBox(QWidget* owner, const QString& prompt, bool masked) override;
    void beep() override;
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title) override;
    std::optional<QString> openFile(QWidget* owner, const QString& filter) override;
    QString saveFile(QWidget* owner, const QString& filter) override;
};

// The one Qt platform of the program.
QtPlatform& qtPlatform();

}  // namespace kestrune
