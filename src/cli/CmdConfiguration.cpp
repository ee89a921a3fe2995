#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/config/Configuration.h"
#include "core/config/Parametres.h"

namespace {

// How an account is reached; never its password.
void afficherCompte(ContexteCli &ctx, const QString &section, const CompteFtp &c)
{
    const QString p = section + u'.';
    ctx.out << p << "Protocole=" << (c.sftp() ? "SFTP" : "FTP") << '\n';
    ctx.out << p << "Host=" << c.Host << '\n';
    ctx.out << p << "Port=" << c.Port << '\n';
    ctx.out << p << "Login=" << c.Login << '\n';
    if (c.sftp()) {
        ctx.out << p << "EmpreinteSSH=" << c.empreinteSsh << '\n';
        ctx.out << p << "CleSSH=" << c.cleSsh << '\n';
    } else {
        ctx.out << p << "TLS=" << (c.tls ? 1 : 0) << '\n';
    }
}

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
    const Parametres p = Parametres::lireSiPossible(chemins().FichierIni);
    afficherCompte(ctx, Parametres::nomSection(Parametres::Publication), p.publication);
    afficherCompte(ctx, Parametres::nomSection(Parametres::Rapport), p.rapport);
    return 0;
}

const EnregistrementCommande enregistrement(
    "configuration", "configuration",
    "Affiche ce que Halvenor.ini donne à la fenêtre principale (lignes actives, mode d'envoi) et "
    "comment chaque compte est joint (jamais son mot de passe).",
    &commandeConfiguration);

} // namespace
