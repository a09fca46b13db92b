#pragma once

#include <QIcon>

class QPainter;

namespace kestrune {

// The program icon: a folder under a kestrel's wing, drawn at every size.
QIcon appIcon();
QPixmap appIconPixmap(int size);
// The drawing itself, into the square (0, 0, size, size) of any painter: the
// installed icons (PNG and SVG) are made from it at build time.
void paintAppIcon(QPainter& painter, qreal size);

}  // namespace kestrune
