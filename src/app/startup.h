#pragma once

class QApplication;

namespace kestrune {

// Application-wide set-up before the first window: names, icon, and Qt's
// own Chinese translations (so standard buttons read 确定/取消) when present.
void prepareApplication(QApplication& app);

}  // namespace kestrune
