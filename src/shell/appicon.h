#pragma once

#include <QIcon>

namespace kestrune {

// The program icon: a folder under a kestrel's wing, drawn at every size.
QIcon appIcon();
QPixmap appIconPixmap(int size);

}  // namespace kestrune
