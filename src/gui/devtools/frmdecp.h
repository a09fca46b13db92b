#pragma once

#include "gui/common/formutil.h"
#include "core/devtools/decompilebatch.h"
#include "gui/common/batchprogress.h"
#include "core/fs/fso.h"

#include <QDialog>
#include <QThread>

#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune {


// The help decompiler: decompiles every compiled help file (*.chm) of a
// folder, and optionally of its subfolders, each into its own folder under
// the destination, and writes a help project for each.
class Frmdecp : public QDialog {
    Q_OBJECT
public:
    explicit Frmdecp(QWidget* parent = nullptr);
    ~Frmdecp() override;

    QLabel* Label1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QCheckBox* Check2 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command6 = nullptr;

    // How many decompilers may run at once: one a processor.
    int maxParallel = qMax(1, QThread::idealThreadCount());

    // Starts the batch: the walk for the help files of `folder` (and with
    // `cas` of its whole tree, a folder's own files before its subfolders'),
    // then their decompiles; a cancel in the progress dialog ends either.
    void sf(const Folder& folder, bool cas);
    // Whether a batch runs (the walk or the decompiles).
    bool busy() const { return m_batch.busy(); }

public slots:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Check2_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void information(const QString& text);

    void batchEnded(const DecompileBatch& batch, bool walkStopped);

    std::optional<FileSystemObject> m_fso;
    bool m_loaded = false;
    // The walk, then the decompiles.
    WindowBatch m_batch{this};
};

}  // namespace kestrune
