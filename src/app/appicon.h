#pragma once

#include <QIcon>
#include <QPixmap>

namespace veruziva {

// The program's icon: a teal screen with its grid and two traces.
QPixmap AppPixmap(int size);
QIcon AppIcon();

}  // namespace veruziva
