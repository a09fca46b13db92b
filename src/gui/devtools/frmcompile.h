#pragma once

#include "core/devtools/programlaunch.h"
#include "gui/devtools/worklistform.h"

#include <optional>

namespace kestrune {

// Compiles a list of projects: one compiler run per listed project, all
// started one after another.
class frmCompile : public WorkListForm {
    Q_OBJECT
public:
    explicit frmCompile(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Text2 = nullptr;
    ClickLabel* Image2 = nullptr;
    QPushButton* Command2 = nullptr;

    // Starts the compiler for one project; why it could not be started, or
    // nothing when it was.
    std::optional<QString> comp(const QString& project);

public slots:
    void Command2_Click();
    void Image2_Click();

private:
    // The compiler of the run in hand and how it is started.
    CompilerSetup m_compiler;
};

}  // namespace kestrune
