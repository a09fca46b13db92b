#include "shell/formutil.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

namespace kestrune {

void centreOn(QWidget* window, const QWidget* other)
{
    if (!window || !other)
        return;
    const QRect o = other->frameGeometry();
    const QRect w = window->frameGeometry();
    window->move(o.left() + (o.width() - w.width()) / 2, o.top() + (o.height() - w.height()) / 2);
}

void centreOnScreen(QWidget* window)
{
    if (!window)
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect s = screen->geometry();
    const QRect w = window->frameGeometry();
    window->move(s.left() + s.width() / 2 - w.width() / 2, s.top() + s.height() / 2 - w.height() / 2);
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ClickLabel::setLinkStyle(bool underline)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(pal);
    if (underline) {
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
    }
    setCursor(Qt::PointingHandCursor);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

}  // namespace kestrune
