#include "gui/documents/dwgthumbnail.h"

#include <QMouseEvent>
#include <QPaintEvent>
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
    m_scaledPart = QRect();
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
    return target.isEmpty() ? QImage() : stretchImage(m_picture, target.size(), m_mode);
}

void DwgThumbnail::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    if (!m_picture.isNull()) {
        // Enlarged far, the control is mostly outside its container: only
        // the part being painted is scaled.
        const QRect target = pictureRect();
        const QRect part = event->rect() & target;
        if (part.isEmpty())
            return;
        const QRect inPicture = part.translated(-target.topLeft());
        if (m_scaledSize != target.size() || m_scaledMode != m_mode || !m_scaledPart.contains(inPicture)) {
            m_scaled = stretchImage(m_picture, target.size(), m_mode, inPicture);
            m_scaledSize = target.size();
            m_scaledPart = m_scaled.isNull() ? QRect() : inPicture;
            m_scaledMode = m_mode;
        }
        if (!m_scaled.isNull())
            painter.drawImage(part.topLeft(), m_scaled, inPicture.translated(-m_scaledPart.topLeft()));
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
