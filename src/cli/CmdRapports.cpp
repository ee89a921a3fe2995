#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Messages.h"
#include "core/config/Parametres.h"
#include "core/reports/RecuperationRapports.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString chaineJson(const QString &s)
{
    QByteArray j = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(j.mid(1, j.size() - 2));
}

// A report's text on one line: its lines joined by " | ".
QString surUneLigne(const QString &texte)
{
    QString t = texte;
    while (t.endsWith(u'\n'))
        t.chop(1);
    return t.replace(u'\n', QStringLiteral(" | "));
}

int commandeRapports(ContexteCli &ctx)
{
    if (!ctx.inconnue.isEmpty())
        throw ErreurUsage(QStringLiteral("Argument inconnu : ") + ctx.inconnue);
    if (!ctx.sansValeur.isEmpty())
        throw ErreurUsage(ctx.sansValeur + QStringLiteral(" attend une valeur."));
    if (!ctx.args.isEmpty())
        throw ErreurUsage(QStringLiteral("Argument inconnu : ") + ctx.args.first());
    int jours = 1;
    if (ctx.options.isSet(QStringLiteral("jours"))) {
        bool ok = false;
        jours = ctx.options.value(QStringLiteral("jours")).toInt(&ok);
        if (!ok || jours < 1 || jours > 31)
            throw ErreurUsage(QStringLiteral("--jours attend un nombre de 1 à 31."));
    }
    QString format = QStringLiteral("texte");
    if (ctx.options.isSet(QStringLiteral("format"))) {
        format = ctx.options.value(QStringLiteral("format"));
        if (format != u"texte" && format != u"csv" && format != u"json")
            throw ErreurUsage(QStringLiteral("--format attend texte, csv ou json."));
    }

    MessagesCli messages(ctx.err);
    SessionRapport session(LireCompteRapport(chemins().FichierIni), messages);
    // A command-line run is a run of its own: its one refresh is a first one and downloads.
    bool rapportsRecuperes = false;
    QList<LigneRapport> lignes;
    if (!ChargerRapports(session, rapportsRecuperes, jours, [&](const LigneRapport &l) { lignes << l; }))
        return 1;

    if (format == u"json") {
        ctx.out << '[';
        for (qsizetype i = 0; i < lignes.size(); ++i) {
            const LigneRapport &l = lignes[i];
            if (i > 0)
                ctx.out << ',';
            ctx.out << "{\"franchise\":" << chaineJson(l.identifiant) << ",\"fichier\":" << chaineJson(l.fichier)
                    << ",\"etat\":\"" << (l.enErreur ? "rouge" : "vert") << "\",\"texte\":" << chaineJson(l.texte)
                    << '}';
        }
        ctx.out << "]\n";
    } else if (format == u"csv") {
        for (const LigneRapport &l : lignes)
            ctx.out << l.identifiant << ';' << (l.enErreur ? "rouge" : "vert") << ';' << surUneLigne(l.texte) << '\n';
    } else {
        if (lignes.isEmpty())
            ctx.out << "Aucun rapport.\n";
        for (const LigneRapport &l : lignes) {
            ctx.out << l.identifiant << "  [" << (l.enErreur ? "rouge" : "vert") << "]  (" << l.fichier << ")\n";
            QString texte = l.texte;
            while (texte.endsWith(u'\n'))
                texte.chop(1);
            for (const QString &ligne : texte.split(u'\n'))
                ctx.out << "    " << ligne << '\n';
        }
    }
    return 0;
}

const EnregistrementCommande enregistrement(
    "rapports", "rapports [--jours N] [--format texte|csv|json]",
    QStringLiteral("Télécharge les rapports de MajAuto du compte ") + Parametres::nomSection(Parametres::Rapport)
        + QStringLiteral(" et affiche l'état de chaque franchisé (vert ou rouge, tolérance J-N, 1 par défaut). "
                         "En csv : franchise;etat;texte, les lignes du texte séparées par \" | \"."),
    &commandeRapports, {optionCli("jours", "N"), optionCli("format", "FORMAT")});

} // namespace
