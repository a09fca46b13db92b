#pragma once

#include "gui/devtools/worklistform.h"
#include "core/documents/wordrun.h"


namespace kestrune {

// Sets, changes or removes the open and modify passwords of a list of Word
// documents through the document engine, one document after another.
class frmjmword : public WorkListForm {
    Q_OBJECT
public:
    explicit frmjmword(QWidget* parent = nullptr);
    ~frmjmword() override;

    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command2 = nullptr;

public slots:
    void Command2_Click();

private:
    void runEnded(const WordRunResult& result);
};

}  // namespace kestrune
