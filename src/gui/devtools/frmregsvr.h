#pragma once

#include "gui/common/formutil.h"
#include "gui/common/batchprogress.h"
#include "core/fs/fso.h"
#include "core/batch/programrunner.h"

#include <memory>

#include <QDialog>

class QLineEdit;

namespace kestrune {

// Registers every component library (dll, ocx) of one folder: typed, picked
// or the program's own folder.
class Frmregsvr : public QDialog {
    Q_OBJECT
public:
    explicit Frmregsvr(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLineEdit* Text4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command5_Click();
    void Command3_Click();

    bool busy() const { return m_batch.busy(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Registers the folder's libraries and shows `done` when all have ended,
    // with the failures after it.
    void registerAndReport(const Folder& folder, const QString& done);
    void message(const QString& text);

    FileSystemObject m_fso;
    WindowBatch m_batch{this};
};

}  // namespace kestrune
