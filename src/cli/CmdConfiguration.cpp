#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/config/Configuration.h"

namespace {

int commandeConfiguration(ContexteCli &ctx)
{
    if (!ctx.args.isEmpty() || !ctx.inconnue.isEmpty())
        throw ErreurUsage(QStringLiteral("La commande configuration ne prend pas d'argument."));
    EtatConfiguration etat;
    AppliquerConfiguration(chemins().FichierIni, etat);
    for (Genre g : tousLesGenres)
        ctx.out << cleGenre(g) << '=' << (etat.actif(g) ? 1 : 0) << '\n';
    ctx.out << "ModeEnvoi=" << (etat.mode == ModeEnvoi::FTP ? "FTP" : "URI") << '\n';
    ctx.out << "CheminURI=" << etat.CheminURI << '\n';
    return 0;
}

const EnregistrementCommande enregistrement(
    "configuration", "configuration",
    "Affiche ce que Halvenor.ini donne à la fenêtre principale (lignes actives, mode d'envoi).",
    &commandeConfiguration);

} // namespace
