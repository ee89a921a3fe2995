#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/Messages.h"
#include "core/config/Parametres.h"
#include "core/reports/RecuperationRapports.h"
#include "core/reports/Supervision.h"
#include "core/reports/TriRapports.h"

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

// What both forms share: no stray argument, and the J- tolerance.
int lireArguments(const ContexteCli &ctx)
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
    return jours;
}

// A whole number of red franchisees, 1 or more.
int seuil(const ContexteCli &ctx, const char *nom, int defaut)
{
    const QString option = QString::fromLatin1(nom);
    if (!ctx.options.isSet(option))
        return defaut;
    int n = 0;
    if (!formats::lireEntier(ctx.options.value(option), n) || n < 1)
        throw ErreurUsage(QStringLiteral("--") + option + QStringLiteral(" attend un nombre entier de 1 ou plus."));
    return n;
}

// Keeps what the refresh would show in a message box: the check's line says it.
class MessagesSupervision : public Messages
{
public:
    void afficher(const QString &texte) override { textes << texte; }
    QStringList textes;
};

// The check of a monitoring system: one line on stdout, exit 0 OK, 1 WARNING, 2 CRITICAL,
// 3 UNKNOWN (bad arguments, an account that cannot be reached or listed).
int supervision(ContexteCli &ctx)
{
    const auto inconnu = [&ctx](const QString &raison) {
        ctx.out << ligneSupervisionInconnue(raison) << '\n';
        return static_cast<int>(EtatSupervision::UNKNOWN);
    };
    int jours = 1;
    SeuilsSupervision seuils;
    try {
        jours = lireArguments(ctx);
        // The check counts every franchisee: an order or a subset would change nothing or mislead.
        for (const char *option : {"format", "erreurs", "tri"})
            if (ctx.options.isSet(QString::fromLatin1(option)))
                throw ErreurUsage(QStringLiteral("--") + QString::fromLatin1(option)
                                  + QStringLiteral(" ne s'emploie pas avec --supervision."));
        seuils.avertissement = seuil(ctx, "avertissement", seuils.avertissement);
        seuils.critique = seuil(ctx, "critique", seuils.critique);
    } catch (const ErreurUsage &e) {
        return inconnu(e.message);
    }

    MessagesSupervision messages;
    ResumeRapports resume;
    try {
        SessionRapport session(LireCompteRapport(chemins().FichierIni), chemins(), messages);
        session.ftpMaj().setAnnulation(ctx.annulation);
        bool rapportsRecuperes = false;
        if (!ChargerRapports(session, rapportsRecuperes, jours,
                             [&](const LigneRapport &l) { resume.ajouter(l.identifiant, l.enErreur); }))
            return inconnu(messages.textes.join(QStringLiteral(" ; ")));
    } catch (const std::exception &e) {
        return inconnu(texteErreur(e));
    }
    ctx.out << ligneSupervision(resume, seuils) << '\n';
    return static_cast<int>(etatSupervision(resume, seuils));
}

int commandeRapports(ContexteCli &ctx)
{
    if (ctx.options.isSet(QStringLiteral("supervision")))
        return supervision(ctx);
    const int jours = lireArguments(ctx);
    if (ctx.options.isSet(QStringLiteral("avertissement")) || ctx.options.isSet(QStringLiteral("critique")))
        throw ErreurUsage(QStringLiteral("--avertissement et --critique s'emploient avec --supervision."));
    QString format = QStringLiteral("texte");
    if (ctx.options.isSet(QStringLiteral("format"))) {
        format = ctx.options.value(QStringLiteral("format"));
        if (format != u"texte" && format != u"csv" && format != u"json")
            throw ErreurUsage(QStringLiteral("--format attend texte, csv ou json."));
    }
    std::optional<OrdreRapports> ordre;
    if (ctx.options.isSet(QStringLiteral("tri"))) {
        ordre = ordreDepuisMot(ctx.options.value(QStringLiteral("tri")));
        if (!ordre)
            throw ErreurUsage(QStringLiteral("--tri attend franchise, etat ou date."));
    }

    MessagesCli messages(ctx.err);
    SessionRapport session(LireCompteRapport(chemins().FichierIni), chemins(), messages);
    session.ftpMaj().setAnnulation(ctx.annulation);
    // A command-line run is a run of its own: its one refresh is a first one and downloads.
    bool rapportsRecuperes = false;
    QList<LigneRapport> lignes;
    if (!ChargerRapports(session, rapportsRecuperes, jours, [&](const LigneRapport &l) { lignes << l; }))
        return 1;
    if (ctx.options.isSet(QStringLiteral("erreurs")))
        lignes.removeIf([](const LigneRapport &l) { return !l.enErreur; });
    if (ordre)
        trierLignes(lignes, *ordre);

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
            ctx.out << (ctx.options.isSet(QStringLiteral("erreurs")) ? "Aucun rapport en erreur.\n" : "Aucun rapport.\n");
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
    "rapports", "rapports [--jours N] [--format texte|csv|json] [--erreurs] [--tri franchise|etat|date] [--supervision [--avertissement N] [--critique N]]",
    QStringLiteral("Télécharge les rapports de MajAuto du compte ") + Parametres::nomSection(Parametres::Rapport)
        + QStringLiteral(" et affiche l'état de chaque franchisé (vert ou rouge, tolérance J-N, 1 par défaut). "
                         "En csv : franchise;etat;texte, les lignes du texte séparées par \" | \". "
                         "--supervision : une ligne pour Nagios ou Icinga et le code 0 OK, 1 WARNING, "
                         "2 CRITICAL, 3 UNKNOWN ; WARNING et CRITICAL à partir de N franchisés en erreur "
                         "(1 par défaut). --erreurs : les franchisés en erreur seulement. --tri : par franchisé, en erreur "
                         "d'abord ou par date du rapport (la plus ancienne d'abord) ; sinon l'ordre du serveur."),
    &commandeRapports,
    {optionCli("jours", "N"), optionCli("format", "FORMAT"), optionCli("supervision"), optionCli("erreurs"), optionCli("tri", "ORDRE"),
     optionCli("avertissement", "N"), optionCli("critique", "N")});

} // namespace
