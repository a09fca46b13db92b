#pragma once

#include "gui/common/batchprogress.h"
#include "core/batch/batchrunner.h"
#include "gui/common/formutil.h"
#include "core/fs/fso.h"

#include <QDialog>

#include <array>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

// The batch file manager: moves, copies or deletes every file of a folder
// tree that passes an extension filter.
class frmmove : public QDialog {
    Q_OBJECT
public:
    explicit frmmove(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    ClickLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    std::array<QRadioButton*, 4> Option1{};
    QButtonGroup* Option1Group = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check3 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command6 = nullptr;

    // The chosen operation: 1 move, 2 copy, 3 delete, 4 forced delete.
    qint16 FilterOp = 1;

    // Starts the walk of `folder` with the filter and operation the window
    // shows; `cas` descends into subfolders. The walk runs as a batch; the
    // window takes no input until it has ended.
    void sf(const Folder& folder, bool cas);
    BatchRunner& runner() { return m_batch.runner(); }

    // The source folder of the last start, and the last filter list entered.
    const Folder& sourceFolder() const { return m_source; }
    const QString& lastFilter() const { return m_lastFilter; }

public slots:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Option1_Click(int index);
    void Label3_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void information(const QString& text);

    std::optional<FileSystemObject> m_fso;
    Folder m_source;
    QString m_lastFilter;
    WindowBatch m_batch{this};
};

}  // namespace kestrune
