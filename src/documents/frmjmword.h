#pragma once

#include "devtools/worklistform.h"
#include "documents/wordapp.h"

#include <memory>
#include <optional>

namespace kestrune {

// Sets, changes or removes the open and modify passwords of a list of Word
// documents through the document engine, one document after another.
class frmjmword : public WorkListForm {
    Q_OBJECT
public:
    explicit frmjmword(QWidget* parent = nullptr);
    ~frmjmword() override;

    // How often comp tries to open a document before it gives up.
    static constexpr int kAttempts = 3;

    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command2 = nullptr;

    // The instance the window holds (nullptr when none).
    WordApplication* wordapp() const { return m_wordapp.get(); }
    bool running() const { return m_running; }

    // Creates the window's instance (a held one is quit first); a failure is
    // shown and leaves none.
    void init();
    // Opens one document, which wordapp_DocumentOpen handles; the line for
    // the information box when it could not be opened.
    std::optional<QString> comp(const QString& path);

public slots:
    void Command2_Click();
    void wordapp_DocumentOpen(kestrune::WordDocument* document);
    void wordapp_Quit();
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void quitInstance();

    std::unique_ptr<WordApplication> m_wordapp;
    bool m_running = false;
    bool m_closeAsked = false;
};

}  // namespace kestrune
