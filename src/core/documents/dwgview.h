#pragma once

// The drawing viewer's model without widgets: where the drawing sits inside
// its viewport as it is zoomed and scrolled, stepping through the drawings of
// a folder, and writing a preview picture as a bitmap file.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrune {

class FileSystemObject;

// The drawing's place inside the viewport, in twips, kept in single
// precision as the viewer has always computed it; shown at 15 twips a pixel.
struct DwgViewGeometry {
    // The viewport and the scroll bars' thickness (nothing moves on resize).
    float viewportWidth = 10575;
    float viewportHeight = 6855;
    float vScrollWidth = 255;   // the vertical bar's width
    float hScrollHeight = 255;  // the horizontal bar's height

    // The drawing control now.
    float left = 0;
    float top = 0;
    float width = 10335;
    float height = 6615;

    // Where opening and clearing put it back.
    float HomeWidth = 0;
    float HomeHeight = 0;
    float HomeLeft = 0;
    qint16 HomeTop = 0;

    // The bars are hidden until a zoom shows them.
    bool hScrollVisible = false;
    bool vScrollVisible = false;

    // Takes the current place as home (the top rounded to a whole twip).
    void load();
    // After the window was resized: the current size becomes the home size.
    void resized();
    // Back to the home place and size; the bars stay as they are.
    void home();
    // Multiplies width and height by `factor` (no bounds) and decides which
    // bars are needed; left and top stay, so it grows to the right and down.
    void zoom(double factor);
    void enlarge() { zoom(1.1); }
    void shrink() { zoom(0.9); }
    // A bar moved: at the bar's maximum the drawing has moved by its whole
    // width (height). A maximum of 0 moves nothing.
    void scrollHorizontal(int value, int maximum);
    void scrollVertical(int value, int maximum);

    // The drawing control's rectangle in pixels.
    QRect pixels() const;
};

// The name test of the stepping: the last three characters, in lower case,
// are "dwg" (no dot needed).
bool isDrawingName(const QString& name);

// The files of the opened drawing's folder and the place reached by stepping
// through them. Entry 0 repeats the last file listed; entries 1..N are the
// folder's N files in listing order, every type included.
class DwgFolderSteps {
public:
    QStringList FolderNames;
    int FolderPos = 0;

    // Lists the folder that holds `drawingPath` and goes back to entry 0. A
    // folder that cannot be listed leaves the single empty entry.
    void open(const QString& drawingPath, const FileSystemObject& fso);
    // The folder listed by the last open.
    QString folder() const { return m_folder; }
    // The next (previous) drawing, wrapping round the list and looking at
    // every entry once; nothing, and no change, when no entry is a drawing
    // or nothing was opened.
    std::optional<QString> next();
    std::optional<QString> previous();
    void clear();

private:
    std::optional<QString> step(int direction);
    QString m_folder;
};

// Writes `picture` as a BMP file at `path`, replacing an existing file
// through a temporary file and a rename, so a failed save leaves the old file
// whole. A picture with transparency is laid on white, as it is shown. A
// read-only existing file is not replaced. Returns why it failed, or nothing.
std::optional<QString> saveBitmap(const QImage& picture, const QString& path);
// The same in another image format ("PNG" keeps transparency).
std::optional<QString> savePicture(const QImage& picture, const QString& path, const char* format);

}  // namespace kestrune
