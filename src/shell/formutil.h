#pragma once

#include <QLabel>
#include <QRect>

class QWidget;

namespace kestrune {

// Window and control geometry is laid out in twips: 15 twips a pixel at 96 dpi.
constexpr int tw(int twips)
{
    return (twips + 7) / 15;
}
inline QRect twRect(int left, int top, int width, int height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

// Centres `window` on `other`: left = other's left + half of (other's width
// - this width), top likewise. Uses outer (frame) geometry.
void centreOn(QWidget* window, const QWidget* other);
// Centres `window` on the screen that holds it.
void centreOnScreen(QWidget* window);

// A label that reacts to a click: the link labels of the tool windows (blue
// text and a hand cursor) and the clickable captions.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);
    // Blue text and a pointing-hand cursor.
    void setLinkStyle(bool underline = false);

signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace kestrune
