#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kestrune {

// Set by the tip menu entry before it shows the tip window; never reset.
extern bool TipFromMenu;

// The tip of the day: one tip of readme.txt at a time, a button to the next
// one and the choice whether the window comes up at start-up. The tips and
// the position in them outlive the window (TipList, TipIndex).
class frmTip : public QDialog {
    Q_OBJECT
public:
    // Builds the window and loads it. At start-up with the setting off the
    // load closes the window before it is ever shown: unloadedAtLoad() then
    // tells so and the window must not be shown.
    explicit frmTip(QWidget* owner = nullptr);

    // The main window's factory: nullptr when the window closed itself while
    // loading.
    static QWidget* create(QWidget* owner);

    bool unloadedAtLoad() const { return m_unloadedAtLoad; }

    QLabel* Picture1 = nullptr;  // white frame of the tip (a label holding the icon)
    QLabel* Label1 = nullptr;
    QLabel* lblTipText = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdNextTip = nullptr;
    QCheckBox* chkLoadTipsAtStartup = nullptr;

    // Appends the lines of a tips file to TipList and moves on to the next
    // tip; false when nothing was read.
    bool LoadTips(const QString& sFile);
    void DisplayCurrentTip();
    void AdvanceTip();

public slots:
    void Form_Load();
    void cmdOK_Click();
    void cmdNextTip_Click();
    void chkLoadTipsAtStartup_Click();

private:
    void showUnavailable(const QString& reason);

    bool m_unloadedAtLoad = false;
    QString m_readError;  // why the last LoadTips could not read an existing file
};

// The small light bulb drawn at the top left of the tip frame.
QPixmap tipBulbPixmap(int size);

}  // namespace kestrune
