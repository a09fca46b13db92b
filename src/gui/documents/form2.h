#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

class QLabel;

namespace kestrune {

// The preview window: one at a time, shown without owner. Its Image1
// stretches a picture to the whole window; behind it the window can carry a
// background picture drawn at its own size from the top-left corner.
class Form2 : public QWidget {
    Q_OBJECT
public:
    // The open preview window, or nullptr.
    static Form2* instance();
    // Shows the preview window, loading it first (centred on `viewer`) when
    // none is open.
    static Form2* showFor(const QWidget* viewer);

    QLabel* Image1 = nullptr;

    // The window's background picture (drawn unscaled behind Image1).
    void setPicture(const QImage& picture);
    QImage picture() const { return m_picture; }

    // Centres the window on the viewer (when it is first shown, once its
    // frame is known).
    void Form_Load(const QWidget* viewer);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    explicit Form2(const QWidget* viewer);
    QImage m_picture;
    QPointer<const QWidget> m_viewer;
    bool m_loaded = false;
    static QPointer<Form2> s_instance;
};

}  // namespace kestrune
