#pragma once

#include "core/documents/dwgpreview.h"

#include <QImage>
#include <QString>
#include <QWidget>

namespace kestrune {

// Shows the preview picture embedded in a drawing file, scaled to the
// control's size (keeping its proportions, centred), or a short note saying
// why there is none.
class DwgThumbnail : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString DwgFileName READ DwgFileName WRITE setDwgFileName)
    Q_PROPERTY(int StretchBltMode READ StretchBltMode WRITE setStretchBltMode)

public:
    explicit DwgThumbnail(QWidget* parent = nullptr);

    // The name last written; "" when nothing is shown.
    QString DwgFileName() const { return m_fileName; }
    // Loads the drawing and shows its preview; "" shows nothing.
    void setDwgFileName(const QString& path);

    // 1 keeps dark pixels, 2 light pixels, 3 the nearest, 4 averages.
    int StretchBltMode() const { return m_mode; }
    // Values outside 1..4 are ignored.
    void setStretchBltMode(int mode);

    // The preview at its own size; null when nothing is shown or the file
    // gave no picture.
    QImage picture() const { return m_picture; }
    // Why the last file written gave no picture (Ok when it did or when
    // nothing was written), and the note shown for it.
    DwgPreviewStatus status() const { return m_status; }
    QString reason() const { return dwgPreviewReason(m_status); }

    // Where the picture is drawn inside the control, and the picture as drawn
    // there (the whole of it; painting scales only the part being painted).
    QRect pictureRect() const;
    QImage scaledPicture() const;

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString m_fileName;
    QImage m_picture;
    DwgPreviewStatus m_status = DwgPreviewStatus::Ok;
    int m_mode = StretchLight;
    // The part of the scaled picture last painted, and what it was made for.
    QImage m_scaled;
    QSize m_scaledSize;
    QRect m_scaledPart;
    int m_scaledMode = 0;
};

}  // namespace kestrune
