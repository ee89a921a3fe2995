#include "core/config/Configuration.h"

void AppliquerConfiguration(const QString &fichier, EtatConfiguration &etat)
{
    const Parametres p = Parametres::lire(fichier);
    if (!p.existe)
        return;
    etat.actifs = p.halvenor.actifs;
    if (p.halvenor.typeEnvoi == ModeEnvoi::FTP) {
        etat.mode = ModeEnvoi::FTP;
    } else if (p.halvenor.typeEnvoi == ModeEnvoi::URI) {
        etat.mode = ModeEnvoi::URI;
        etat.CheminURI = p.uri;
    }
}
