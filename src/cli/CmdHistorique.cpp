#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Formats.h"
#include "core/base/Horloge.h"
#include "core/base/Messages.h"
#include "core/reports/RecuperationRapports.h"

namespace {

int commandeHistorique(ContexteCli &ctx)
{
    if (!ctx.inconnue.isEmpty())
        throw ErreurUsage(QStringLiteral("Argument inconnu : ") + ctx.inconnue);
    const bool avecCsv = ctx.options.isSet(QStringLiteral("csv"));
    const QString fichierCsv = ctx.options.value(QStringLiteral("csv"));
    if (!ctx.sansValeur.isEmpty() || (avecCsv && fichierCsv.isEmpty()))
        throw ErreurUsage(QStringLiteral("--csv attend un nom de fichier."));
    if (ctx.args.size() > 1)
        throw ErreurUsage(QStringLiteral("Argument inconnu : ") + ctx.args[1]);
    if (ctx.args.isEmpty())
        throw ErreurUsage(QStringLiteral("Il manque l'identifiant du franchisé."));
    const QString identifiant = ctx.args.first();

    MessagesCli messages(ctx.err);
    SessionRapport session(LireCompteRapport(chemins().FichierIni), chemins(), messages);
    session.ftpMaj().setAnnulation(ctx.annulation);
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
        QList<EntreeHistorique> entrees;
        ParcourirHistorique(document, aujourdhui, [&](const EntreeHistorique &e) { entrees << e; });
        EcrireFichier(fichierCsv, CsvEntreesHistorique(entrees));
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
    &commandeHistorique, {optionCli("csv", "FICHIER")});

} // namespace
