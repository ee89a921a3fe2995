#include "core/config/Configuration.h"

#include "core/config/IniFile.h"

#include <QFileInfo>

void AppliquerConfiguration(const QString &fichier, EtatConfiguration &etat)
{
    if (!QFileInfo(fichier).isFile())
        return;
    const IniFile ini(fichier);
    const QString section = QStringLiteral("Halvenor");
    for (Genre g : tousLesGenres)
        etat.actifs[static_cast<size_t>(g)] = ini.readBool(section, cleGenre(g), false);
    const QString type = ini.readString(section, QStringLiteral("TypeEnvoi"), QStringLiteral("FTP"));
    if (type == u"FTP") {
        etat.mode = ModeEnvoi::FTP;
    } else if (type == u"URI") {
        etat.mode = ModeEnvoi::URI;
        etat.CheminURI = ini.readString(QStringLiteral("Halvenor_URI"), QStringLiteral("URI"), QString());
    }
}
