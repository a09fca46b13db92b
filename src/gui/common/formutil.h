#pragma once

#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>

#include <utility>

class QDialog;
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

// A control's place in twips, as the window tables give it: left, top, width, height.
struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    QRect pixels() const { return twRect(left, top, width, height); }
};

// Names and places a control that is already made: its object name is its
// member name, its geometry the twips rectangle.
template <typename Control>
Control* placed(Control* control, const char* name, Twips at)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(at.pixels());
    return control;
}

// Makes a control of any kind on `parent` with its name and place; the extra
// arguments go to the control's constructor before the parent, so
//   Label1 = control<QLabel>(this, "Label1", {120, 120, 240, 255}, QStringLiteral("源"));
// reads as a line of the window's control table.
template <typename Control, typename... Args>
Control* control(QWidget* parent, const char* name, Twips at, Args&&... args)
{
    return placed(new Control(std::forward<Args>(args)..., parent), name, at);
}

// A command button that never turns into the window's default button, so
// Enter in a text box never starts a batch.
QPushButton* button(QWidget* parent, const char* name, Twips at, const QString& caption);
// Makes an existing button one that never turns into a default button.
void neverDefault(QPushButton* button);

class ClickLabel;
// A small picture that acts as a browse button: the open-folder icon, the
// tooltip "浏览" and a pointing hand; its clicked() opens the dialog.
ClickLabel* browsePicture(QWidget* parent, const char* name, Twips at);

// Escape no longer closes `dialog` (a window whose lists would be lost):
// only its close button and its close box do.
void keepOpenOnEscape(QDialog* dialog);

// Sets a window's client area in twips.
void setClientTwips(QWidget* window, int width, int height);

// Text colour of a label (the dark red hints, the blue notes).
void setTextColour(QWidget* widget, const QColor& colour);

// The 宋体 font (SimSun, or the nearest CJK font the desktop has) at `pointSize`.
void setSongFont(QWidget* widget, qreal pointSize);

// Centres `window` on `other`: left = other's left + half of (other's width
// - this width), top likewise. Uses outer (frame) geometry.
void centreOn(QWidget* window, const QWidget* other);
// The window that owns `w` (the window of its parent), or nullptr for a
// window without an owner.
QWidget* ownerWindow(const QWidget* w);
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
