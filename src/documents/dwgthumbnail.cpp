#include "documents/dwgthumbnail.h"

#include <QMouseEvent>
#include <QPainter>

namespace kestrune {

DwgThumbnail::DwgThumbnail(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, QColor(64, 64, 64));
    setPalette(pal);
}

void DwgThumbnail::setDwgFileName(const QString& path)
{
    m_fileName = path;
    m_scaled = QImage();
    if (path.isEmpty()) {
        m_picture = QImage();
        m_status = DwgPreviewStatus::Ok;
    } else {
        DwgPreview preview = readDwgPreview(path);
        m_picture = preview.image;
        m_status = preview.status;
    }
    update();
}

void DwgThumbnail::setStretchBltMode(int mode)
{
    if (mode < StretchDark || mode > StretchSmooth || mode == m_mode)
        return;
    m_mode = mode;
    update();
}

QRect DwgThumbnail::pictureRect() const
{
    if (m_picture.isNull() || width() <= 0 || height() <= 0)
        return QRect();
    const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QImage DwgThumbnail::scaledPicture() const
{
    const QRect target = pictureRect();
    if (target.isEmpty())
        return QImage();
    if (m_scaled.size() != target.size() || m_scaledMode != m_mode) {
        m_scaled = stretchImage(m_picture, target.size(), m_mode);
        m_scaledMode = m_mode;
    }
    return m_scaled;
}

void DwgThumbnail::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!m_picture.isNull()) {
        const QImage scaled = scaledPicture();
        if (!scaled.isNull())
            painter.drawImage(pictureRect().topLeft(), scaled);
        return;
    }
    const QString note = reason();
    if (note.isEmpty())
        return;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, note);
}

void DwgThumbnail::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace kestrune
