#pragma once

#include <QString>

class QApplication;

// Start-up shared by the program, the screenshot tool and the GUI tests: the shared paths
// around `repertoireProgramme`, the French locale, Qt's French translation, the icon and the
// style. A style that fails to load is reported through the error dialog; start-up goes on.
void demarrer(QApplication &app, const QString &repertoireProgramme);
