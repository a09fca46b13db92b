#include "gui/documents/form2.h"

#include "gui/common/formutil.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace kestrune {

QPointer<Form2> Form2::s_instance;

Form2* Form2::instance()
{
    return s_instance.data();
}

Form2* Form2::showFor(const QWidget* viewer)
{
    if (!s_instance)
        s_instance = new Form2(viewer);
    Form2* w = s_instance.data();
    if (w->isMinimized())
        w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

Form2::Form2(const QWidget* viewer)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("预览"));
    // No icon: a blank one, so the program's icon is not put in its place.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setClientTwips(this, 9975, 7365);
    setFixedSize(size());

    Image1 = control<QLabel>(this, "Image1", {0, 0, 9975, 7335});
    Image1->setScaledContents(true);
    m_viewer = viewer;
}

void Form2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load(m_viewer.data());
}

void Form2::Form_Load(const QWidget* viewer)
{
    centreOn(this, viewer);
}

void Form2::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void Form2::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

}  // namespace kestrune
