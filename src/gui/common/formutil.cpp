#include "gui/common/formutil.h"

#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace kestrune {

QPushButton* button(QWidget* parent, const char* name, Twips at, const QString& caption)
{
    QPushButton* b = control<QPushButton>(parent, name, at, caption);
    neverDefault(b);
    return b;
}

ClickLabel* browsePicture(QWidget* parent, const char* name, Twips at)
{
    auto* picture = control<ClickLabel>(parent, name, at, QString());
    picture->setPixmap(parent->style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16));
    picture->setAlignment(Qt::AlignCenter);
    picture->setToolTip(QStringLiteral("浏览"));
    picture->setCursor(Qt::PointingHandCursor);
    return picture;
}

void neverDefault(QPushButton* button)
{
    button->setAutoDefault(false);
    button->setDefault(false);
}

namespace {
class EscapeFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            return true;
        return QObject::eventFilter(watched, event);
    }
};
}  // namespace

void keepOpenOnEscape(QDialog* dialog)
{
    dialog->installEventFilter(new EscapeFilter(dialog));
}

void setClientTwips(QWidget* window, int width, int height)
{
    window->resize(tw(width), tw(height));
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    widget->setPalette(pal);
}

void setSongFont(QWidget* widget, qreal pointSize)
{
    QFont f = widget->font();
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), f.family()});
    f.setPointSizeF(pointSize);
    widget->setFont(f);
}

void centreOn(QWidget* window, const QWidget* other)
{
    if (!window || !other)
        return;
    const QRect o = other->frameGeometry();
    const QRect w = window->frameGeometry();
    window->move(o.left() + (o.width() - w.width()) / 2, o.top() + (o.height() - w.height()) / 2);
}

QWidget* ownerWindow(const QWidget* w)
{
    return w && w->parentWidget() ? w->parentWidget()->window() : nullptr;
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
    setTextColour(this, QColor(0, 0, 255));
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
