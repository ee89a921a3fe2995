#pragma once

#include <QString>

class QApplication;

// Halvenor's visual styles, shipped in the resources. Throws HalvenorError when the
// named style does not exist or cannot be loaded; the application keeps its look then.
void appliquerStyle(QApplication &app, const QString &nom);
