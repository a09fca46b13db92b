#pragma once

#include "core/documents/dwgview.h"
#include "core/fs/fso.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace kestrune {

class ClickLabel;
class DwgThumbnail;

// The drawing viewer: opens a drawing's preview, zooms and scrolls it inside
// its viewport, steps through the drawings of its folder, shows it in the
// preview window and saves it as a bitmap.
class FrmViewdwg : public QWidget {
    Q_OBJECT
public:
    explicit FrmViewdwg(QWidget* owner = nullptr);

    QWidget* Picture3 = nullptr;
    DwgThumbnail* DwgThumbnail1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    ClickLabel* Image1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command3 = nullptr;
    ClickLabel* Picture4 = nullptr;
    ClickLabel* Picture2 = nullptr;
    ClickLabel* Picture1 = nullptr;
    ClickLabel* Image2 = nullptr;
    ClickLabel* Picture5 = nullptr;
    ClickLabel* Label2 = nullptr;
    QPushButton* Command4 = nullptr;

    // The drawing's place in twips and its home, and the folder being
    // stepped through (FolderNames, FolderPos).
    const DwgViewGeometry& geometry() const { return m_geometry; }
    const DwgFolderSteps& folderSteps() const { return m_steps; }
    // Opens a drawing as if it had been picked with the folder button and
    // opened with 打开 (a path given to the program, its bytes kept).
    void openDrawing(const QString& path);
    // The trimmed path last opened.
    QString DrawingPath() const { return m_drawingPath; }

public slots:
    void Form_Load();
    void Form_Resize();
    void Command1_Click();
    void Image1_Click();
    void Command3_Click();
    void Command4_Click();
    void Picture1_Click();
    void Picture2_Click();
    void HScroll1_Change();
    void VScroll1_Change();
    void Picture4_Click();
    void Picture5_Click();
    void Image2_Click();
    void Label2_Click();
    void Combo1_Click();
    void DwgThumbnail1_DblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void zoom(double factor);
    void placeDrawing();
    bool hasPicture() const;
    void information(const QString& text);

    FileSystemObject m_fso;
    DwgViewGeometry m_geometry;
    DwgFolderSteps m_steps;
    QString m_drawingPath;
    // The path last picked in the file dialog, shown readable in the path
    // box: while the box still shows it, opening takes these exact bytes.
    QString m_pickedPath;
    bool m_placed = false;
};

}  // namespace kestrune
