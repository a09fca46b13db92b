#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace kestrune {

class ClickLabel;

// The web addresses of the About window's three links.
extern const QString kHomePageAddress;       // "我的博客"
extern const QString kSkySoftAddress;        // "天空软件下载"
extern const QString kHuajunSoftAddress;     // "华军软件下载"

// The About window: title, version, description, the system information
// button and three links.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QFrame* Line1 = nullptr;
    ClickLabel* Label2 = nullptr;
    ClickLabel* Label3 = nullptr;
    ClickLabel* Label4 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

    void StartSysInfo();
    bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

public slots:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void Label2_Click();
    void Label3_Click();
    void Label4_Click();
};

}  // namespace kestrune
