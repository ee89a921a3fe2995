#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Formats.h"
#include "core/base/Horloge.h"
#include "core/base/Messages.h"
#include "core/reports/RecuperationRapports.h"

namespace {

int commandeHistorique(ContexteCli &ctx)
{
    QString identifiant;
    QString fichierCsv;
    bool avecCsv = false;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString &a = ctx.args[i];
        if (a == u"--csv") {
            if (i + 1 >= ctx.args.size() || ctx.args[i + 1].isEmpty())
                throw ErreurUsage(QStringLiteral("--csv attend un nom de fichier."));
            fichierCsv = ctx.args[++i];
            avecCsv = true;
        } else if (a.startsWith(u"--") || !identifiant.isEmpty()) {
            throw ErreurUsage(QStringLiteral("Argument inconnu : ") + a);
        } else {
            identifiant = a;
        }
    }
    if (identifiant.isEmpty())
        throw ErreurUsage(QStringLiteral("Il manque l'identifiant du franchisé."));

    MessagesCli messages(ctx.err);
    SessionRapport session(LireCompteRapport(chemins().FichierIni), messages);
    if (!session.ConnexionFTPRapport())
        return 1;
    const std::optional<QString> chemin = session.RecupererHistorique(identifiant);
    session.DeconnexionFTPRapport();
    if (!chemin) {
        ctx.err << texteSansHistorique(identifiant) << '\n';
        return 1;
    }
    TNativeXMLDocument document(RacineMajAuto);
    try {
        document.LoadFromFile(*chemin);
    } catch (const std::exception &) {
        ctx.err << DebutXmlIllisible << *chemin << '\n' << texteSansHistorique(identifiant) << '\n';
        return 1;
    }

    const QDate aujourdhui = horloge().maintenant().date();
    if (avecCsv) {
        // The same bytes as the history window's "Exporter".
        QList<LigneCsv> lignes;
        ParcourirHistorique(document, aujourdhui, [&](const EntreeHistorique &e) {
            lignes << LigneCsv{formats::date(e.date.date()), e.texte};
        });
        EcrireFichier(fichierCsv, CsvHistorique(lignes));
        return 0;
    }
    ParcourirHistorique(document, aujourdhui, [&](const EntreeHistorique &e) {
        QString texte = e.texte;
        while (texte.endsWith(u'\n'))
            texte.chop(1);
        ctx.out << formats::dateHeure(e.date) << "  [" << (e.enErreur ? "rouge" : "vert") << "]  "
                << texte.replace(u'\n', QStringLiteral(" | ")) << '\n';
    });
    return 0;
}

const EnregistrementCommande enregistrement(
    "historique", "historique IDENTIFIANT [--csv FICHIER]",
    "Télécharge l'historique de MajAuto d'un franchisé et l'affiche, une ligne par passage "
    "(date, vert ou rouge, texte), ou l'exporte en CSV comme le bouton \"Exporter\".",
    &commandeHistorique);

} // namespace
