#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/config/Configuration.h"
#include "core/base/Messages.h"
#include "core/publish/Envoi.h"
#include "core/publish/ClientDistant.h"

#include <QList>

namespace {

int commandeEnvoyer(ContexteCli &ctx)
{
    const QStringList mots = ctx.inconnue.isEmpty() ? ctx.args : ctx.args + QStringList{ctx.inconnue};
    if (mots.size() != 1)
        throw ErreurUsage(QStringLiteral("La commande envoyer attend un genre de données."));
    const QString nom = mots.first();

    EtatConfiguration etat;
    AppliquerConfiguration(chemins().FichierIni, etat);

    QList<Genre> genres;
    if (nom == u"tout") {
        for (Genre g : tousLesGenres)
            if (etat.actif(g))
                genres << g;
        if (genres.isEmpty()) {
            ctx.err << "Aucun envoi n'est activé dans Halvenor.ini : rien à envoyer.\n";
            return 1;
        }
    } else if (const auto g = genreDepuisNom(nom)) {
        if (!etat.actif(*g)) {
            ctx.err << "L'envoi « " << libelleGenre(*g) << " » n'est pas activé dans Halvenor.ini (clé "
                    << cleGenre(*g) << " de la section Halvenor).\n";
            return 1;
        }
        genres << *g;
    } else {
        throw ErreurUsage(QStringLiteral("Genre inconnu : ") + nom
                          + QStringLiteral(" (remise, personnalisation, messages, documents ou tout)."));
    }

    MessagesCli messages(ctx.err);
    const CompteFtp compte = Parametres::lire(chemins().FichierIni).publication;
    const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
    client->setAnnulation(ctx.annulation);
    SessionFtp session(*client, compte, chemins().RepertoireProgramme, messages);
    Envoi envoi(session, etat.mode, etat.CheminURI, messages);
    envoi.definirAnnulation(ctx.annulation);

    bool toutEnvoye = true;
    for (Genre g : genres) {
        if (annulee(ctx.annulation))
            break;
        // Like a click on the row's button: a missing directory stops this row only.
        if (!envoi.repertoireValide()) {
            ctx.err << libelleGenre(g) << " : le répertoire de publication « " << etat.CheminURI
                    << " » n'existe pas.\n";
            toutEnvoye = false;
            continue;
        }
        const bool ok = envoi.envoyerFichiers(g, chemins().RepertoirePreparer, [&](const QString &fichier) {
            ctx.out << "Publié : " << fichier << '\n';
            ctx.out.flush();
        });
        if (!ok && !annulee(ctx.annulation)) {
            ctx.err << libelleGenre(g) << " : échec de l'envoi.\n";
            toutEnvoye = false;
        }
    }
    session.DeconnexionFTP();
    return toutEnvoye ? 0 : 1;
}

const EnregistrementCommande enregistrement(
    "envoyer", "envoyer <remise|personnalisation|messages|documents|tout>",
    "Publie les fichiers préparés par generer, par FTP ou par copie selon Halvenor.ini "
    "(tout : chaque genre activé).",
    &commandeEnvoyer);

} // namespace
