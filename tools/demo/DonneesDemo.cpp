// Lays out a demo program directory: realistic head-office tables in French, Halvenor.ini,
// Alias.ini, and the two FTP accounts' folders (publication, and reports relative to today).
// Usage: halvenor-demo-donnees DIR PORT

#include "ParadoxWriter.h"

#include "core/base/EcritureSure.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"
#include "core/export/TablesHalvenor.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

using paradox::TypeChamp;
using paradox::test::Colonne;
using Lignes = QList<QList<QVariant>>;

namespace {

const QVariant nul;

QString s(const char *t) { return QString::fromUtf8(t); }

void ecrire(const QString &chemin, const QByteArray &octets)
{
    if (const ResultatEcriture r = ecrireEnEntier(chemin, octets); !r)
        qFatal("impossible d'écrire %s : %s", qPrintable(chemin), qPrintable(r.raison()));
}

QByteArray cp1252(const QString &texte)
{
    return paradox::PageCode::windows1252().encoder(texte);
}

struct Fournisseur
{
    const char *code, *nom, *ville, *cp, *tel;
};

const Fournisseur fournisseurs[] = {
    {"AL", "Alvéa Menuiseries", "Angers", "49000", "02 41 22 10 10"},
    {"BO", "Bois & Océan", "La Rochelle", "17000", "05 46 41 20 20"},
    {"CE", "Céramiques de l'Est", "Nancy", "54000", "03 83 30 30 30"},
    {"DU", "Duroc Quincaillerie", "Lyon", "69003", "04 78 40 40 40"},
    {"EV", "Évasion Cuisines", "Bordeaux", "33000", "05 56 50 50 50"},
    {"FR", "Fraisse Literie", "Rennes", "35000", "02 99 60 60 60"},
    {"GA", "Garnier Luminaires", "Lille", "59000", "03 20 70 70 70"},
    {"HM", "Héritage Mobilier", "Toulouse", "31000", "05 61 80 80 80"},
    {"LU", "Lumière du Sud", "Marseille", "13001", "04 91 90 90 90"},
    {"MA", "Maisons d'Armor", "Brest", "29200", "02 98 11 11 11"},
    {"PO", "Porcelaines Orléanaises", "Orléans", "45000", "02 38 12 12 12"},
    {"SE", "Sellerie Émeraude", "Dinan", "22100", "02 96 13 13 13"},
};

void tableFournis(const QString &rep)
{
    // The 51 declared fields, typed as the head office holds them.
    const QStringList noms = champsFournis();
    const QSet<QString> courts{s("Reglement"), s("Status"), s("LivraisonType"), s("FermetureJour"),
                               s("FermetureHeure"), s("Ferme"), s("ReglementA"), s("ReglementLe"), s("TVA")};
    const QSet<QString> memos{s("Observation"), s("Message")};
    const QSet<QString> reels{s("CommCA"), s("CommMB"), s("ForfaitPort"), s("MargeAveugle"), s("CoefTarif")};
    const QMap<QString, int> tailles{{s("Code"), 2}, {s("Nom"), 30}, {s("Qualite"), 10}, {s("CP"), 5},
                                     {s("Banque"), 5}, {s("Guichet"), 5}, {s("Compte"), 11}, {s("Cle"), 2},
                                     {s("LivraisonCP"), 5}, {s("LivraisonCode"), 6}, {s("Capital"), 10},
                                     {s("Mail"), 50}, {s("LivraisonMail"), 50}, {s("Franco"), 50},
                                     {s("Remises"), 100}, {s("Tel"), 20}, {s("Fax"), 20}, {s("Portable"), 20},
                                     {s("Domiciliation"), 20}, {s("LivraisonTel"), 20}, {s("LivraisonFax"), 20},
                                     {s("LivraisonPortable"), 20}};
    QList<Colonne> colonnes;
    for (const QString &n : noms) {
        if (courts.contains(n))
            colonnes.append({n, TypeChamp::Short, 2});
        else if (memos.contains(n))
            colonnes.append({n, TypeChamp::Memo, 20});
        else if (reels.contains(n))
            colonnes.append({n, TypeChamp::Number, 8});
        else
            colonnes.append({n, TypeChamp::Alpha, tailles.value(n, n.startsWith(u"Livraison") || n.startsWith(u"Rue") ? 40 : 30)});
    }
    Lignes lignes;
    int i = 0;
    for (const Fournisseur &f : fournisseurs) {
        QList<QVariant> l(noms.size());
        auto met = [&](const char *champ, const QVariant &v) { l[noms.indexOf(s(champ))] = v; };
        met("Code", s(f.code));
        met("Nom", s(f.nom));
        met("Reglement", 30 + 15 * (i % 3));
        met("Observation", i % 4 == 0 ? QVariant(s("Fournisseur historique du réseau.\nLivraisons groupées le mardi.")) : nul);
        met("Qualite", s(i % 2 ? "Agréé" : "Référencé"));
        met("Ville", s(f.ville));
        met("CP", s(f.cp));
        met("Rue1", QStringLiteral("%1 rue de la République").arg(3 + 7 * i));
        met("Tel", s(f.tel));
        met("Mail", QStringLiteral("commandes@%1.example").arg(s(f.code).toLower()));
        met("Contact", s(i % 2 ? "Mme Lefèvre" : "M. Dubois"));
        met("Siren", QStringLiteral("4%1").arg(12345678 + i * 1111));
        met("Status", 1);
        met("TVA", 1);
        met("CommCA", 2.5 + i * 0.25);
        met("ForfaitPort", i % 3 == 0 ? QVariant(45.0) : nul);
        met("CoefTarif", 1.8 + i * 0.05);
        met("Franco", s("Franco à partir de 1 500 €"));
        lignes << l;
        ++i;
    }
    paradox::test::ecrireTable(rep + s("FOURNIS.DB"), colonnes, lignes);
}

void tableRemises(const QString &rep)
{
    const QList<Colonne> colonnes{{s("Client"), TypeChamp::Alpha, 6},   {s("Fournisseur"), TypeChamp::Alpha, 2},
                                  {s("Type"), TypeChamp::Short, 2},     {s("Famille"), TypeChamp::Alpha, 2},
                                  {s("Libelle"), TypeChamp::Alpha, 40}, {s("Remise"), TypeChamp::Number, 8},
                                  {s("DateDebut"), TypeChamp::Date, 4}, {s("DateFin"), TypeChamp::Date, 4}};
    const char *familles[] = {"CU", "SA", "LI", "LU", "ME"};
    const char *libelles[] = {"Remise annuelle cuisine", "Remise salle de bains", "Remise literie",
                              "Remise luminaires", "Remise menuiserie"};
    const char *codes[] = {"AL", "BO", "CE", "DU", "EV", "FR", "GA", "HM", "LU", "MA", "PO", "SE", "ZZ", "al"};
    Lignes lignes;
    const QDate debut(QDate::currentDate().year(), 1, 1);
    for (int i = 0; i < 84; ++i) {
        const int f = i % 14;
        const int type = i % 7 == 3 ? 1 : (i % 11 == 5 ? 3 : 2);
        const QVariant client = i % 9 == 4 ? QVariant(QStringLiteral("C%1").arg(1000 + i)) : nul;
        lignes << QList<QVariant>{client, s(codes[f]), type, s(familles[i % 5]), s(libelles[i % 5]),
                                  5.0 + (i % 8) * 2.5, debut, i % 4 == 0 ? nul : QVariant(debut.addYears(1).addDays(-1))};
    }
    paradox::test::ecrireTable(rep + s("REMISES.DB"), colonnes, lignes);
}

void tablePerso(const QString &rep)
{
    const QList<Colonne> colonnes{{s("Groupe"), TypeChamp::Short, 2},      {s("Famille"), TypeChamp::Alpha, 2},
                                  {s("Modele"), TypeChamp::Alpha, 2},      {s("Fournisseur"), TypeChamp::Alpha, 2},
                                  {s("Produit"), TypeChamp::Alpha, 2},     {s("Libelle"), TypeChamp::Alpha, 50},
                                  {s("Photo"), TypeChamp::Memo, 30},       {s("Detail"), TypeChamp::Memo, 30},
                                  {s("Xml"), TypeChamp::Memo, 30},         {s("DetailCache"), TypeChamp::Memo, 30},
                                  {s("Flag"), TypeChamp::Short, 2}};
    const char *modeles[] = {"Cuisine Provence", "Cuisine Loft", "Salle de bains Zen", "Chambre Céleste",
                             "Séjour Atelier", "Dressing Horizon", "Bureau Nomade", "Entrée Bohème"};
    Lignes lignes;
    for (int i = 0; i < 16; ++i) {
        const QString nom = s(modeles[i % 8]) + (i >= 8 ? s(" (variante)") : QString());
        const QString detail = QStringLiteral("Façade : chêne clair\nPoignées : laiton brossé\nPlan : quartz « %1 »\nDélai : %2 semaines")
                                   .arg(i % 2 ? s("fumé") : s("ivoire"))
                                   .arg(3 + i % 4);
        const QString xml = QStringLiteral("<modele code=\"M%1\"><option nom=\"éclairage\" prix=\"%2\"/></modele>")
                                .arg(i)
                                .arg(120 + 10 * i);
        lignes << QList<QVariant>{1 + i / 8, s(i % 2 ? "CU" : "SA"), QStringLiteral("%1").arg(i % 10, 2, 10, QLatin1Char('0')),
                                  s(fournisseurs[i % 12].code), QStringLiteral("P%1").arg(i % 10),
                                  nom, QStringLiteral("photos/modele_%1.jpg").arg(i), detail,
                                  i % 3 == 0 ? nul : QVariant(xml), i % 5 == 0 ? QVariant(s("Réservé au siège.")) : nul,
                                  i % 4};
    }
    paradox::test::ecrireTable(rep + s("Perso.DB"), colonnes, lignes);
}

void tablesMessages(const QString &rep)
{
    const QList<Colonne> types{{s("Code"), TypeChamp::Short, 2}, {s("Libelle"), TypeChamp::Alpha, 40},
                               {s("Externe"), TypeChamp::Short, 2}};
    paradox::test::ecrireTable(rep + s("MessageType.DB"), types,
                               {{1, s("Information réseau"), 0},
                                {2, s("Promotion nationale"), 0},
                                {3, s("Alerte produit"), 0},
                                {4, s("Message d'un franchisé"), 1}});
    const QList<Colonne> colonnes{{s("Numero"), TypeChamp::Long, 4},   {s("Type"), TypeChamp::Short, 2},
                                  {s("Titre"), TypeChamp::Alpha, 60},  {s("Texte"), TypeChamp::Memo, 40},
                                  {s("DateCreation"), TypeChamp::Date, 4}, {s("Externe"), TypeChamp::Short, 2}};
    const QDate d = QDate::currentDate();
    paradox::test::ecrireTable(
        rep + s("Message.DB"), colonnes,
        {{1, 1, s("Nouveau catalogue"), s("Le catalogue de printemps est disponible.\nCommandez vos exemplaires avant vendredi."), d.addDays(-20), 0},
         {2, 2, s("Opération « Cuisine d'été »"), s("Du 1er au 30 juin : -15 % sur les plans de travail."), d.addDays(-12), 0},
         {3, 3, s("Rappel de luminaires"), s("Lot GA-2231 : retirez les suspensions de la vente.\nUn avoir sera établi."), d.addDays(-6), 0},
         {4, 4, s("Question sur les délais"), s("Message saisi par un franchisé."), d.addDays(-5), 1},
         {5, 1, s("Formation logiciel"), s("Session en ligne jeudi à 14 h."), d.addDays(-3), 0},
         {6, 1, s("Inventaire annuel"), nul, d.addDays(-2), nul},
         {7, 2, s("Soldes d'hiver"), s("Affiches à télécharger sur l'extranet."), d.addDays(-1), 0},
         {8, 4, s("Retour d'expérience"), s("Écrit par le magasin de Brest."), d, 2}});
}

void tablesDocuments(const QString &rep)
{
    const QList<Colonne> types{{s("Code"), TypeChamp::Short, 2}, {s("Libelle"), TypeChamp::Alpha, 40},
                               {s("Externe"), TypeChamp::Short, 2}};
    paradox::test::ecrireTable(rep + s("MesDocsType.DB"), types,
                               {{1, s("Procédure"), 0}, {2, s("Fiche produit"), 0}, {3, s("Document local"), 1}});
    const QList<Colonne> colonnes{{s("Numero"), TypeChamp::Long, 4},      {s("Type"), TypeChamp::Short, 2},
                                  {s("Titre"), TypeChamp::Alpha, 60},     {s("Fichier"), TypeChamp::Alpha, 80},
                                  {s("Description"), TypeChamp::Memo, 40}, {s("MiseAJour"), TypeChamp::Timestamp, 8},
                                  {s("Externe"), TypeChamp::Short, 2}};
    const QDateTime t(QDate::currentDate().addDays(-4), QTime(9, 30));
    paradox::test::ecrireTable(
        rep + s("MesDocs.DB"), colonnes,
        {{1, 1, s("Ouverture du magasin"), s("procedures/ouverture.pdf"), s("Check-list du matin.\nÀ afficher en réserve."), t, 0},
         {2, 1, s("Clôture de caisse"), s("procedures/cloture.pdf"), s("Étapes de la clôture journalière."), t.addDays(1), 0},
         {3, 2, s("Plan de travail quartz"), s("produits/quartz.pdf"), nul, t.addDays(2), 0},
         {4, 3, s("Planning du magasin de Dinan"), s("local/planning.xlsx"), nul, t.addDays(2), 1},
         {5, 2, s("Literie Fraisse"), s("produits/literie.pdf"), s("Gamme 2026."), QDateTime(t.date(), QTime(0, 0)), 0}});
}

// One update report: per section, its state and messages.
struct Section
{
    int etat = 0;
    QStringList messages;
};

QString section(const char *nom, const Section &s)
{
    QString x = QStringLiteral("<%1><Etat Etat=\"%2\"/><Messages>").arg(QLatin1String(nom)).arg(s.etat);
    for (const QString &m : s.messages)
        x += QStringLiteral("<Message>%1</Message>").arg(m.toHtmlEscaped());
    return x + QStringLiteral("</Messages></%1>").arg(QLatin1String(nom));
}

QString sections(const Section &g, const Section &h, const Section &z)
{
    return section("General", g) + section("HVN", h) + section("Zentrave", z);
}

constexpr int NombreFranchises = 2000;

void rapports(const QString &racine)
{
    const QString rep = racine + s("Rapport/");
    const QString hist = rep + s("Historique/");
    QDir().mkpath(hist);
    const QDateTime maintenant = QDateTime::currentDateTime();
    const QString entete = s("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n");

    const QStringList problemesGeneral{s("Espace disque insuffisant sur C: (1,2 Go libres)"),
                                       s("Sauvegarde de la nuit non effectuée")};
    const QStringList problemesHvn{s("Table Perso.DB verrouillée : personnalisation non appliquée")};
    const QStringList problemesZentrave{s("Fichier remise_achat.xml absent du serveur"),
                                        s("3 conditions d'achat rejetées ; fournisseur inconnu : ZZ")};

    // 2,000 franchisees "0401" to "2400": the first 30 as they always were, then about one in
    // six red, scattered, as a large network looks.
    for (int i = 1; i <= NombreFranchises; ++i) {
        const QString id = QStringLiteral("%1").arg(400 + i, 4, 10, QLatin1Char('0'));
        Section g, h, z;
        int joursDeRetard = i % 3 == 0 ? 1 : 0;
        const int tirage = (i * 37) % 100;
        if (i <= 30 ? i % 7 == 2 : tirage < 7) {
            g = {1, {problemesGeneral.at(static_cast<qsizetype>(i % 2))}};
        } else if (i <= 30 ? i % 7 == 4 : tirage < 13) {
            h = {2, problemesHvn};
            z = {1, problemesZentrave};
        } else if (i <= 30 ? i % 10 == 6 : tirage < 18) {
            joursDeRetard = 4 + i % 5; // out of date
        }
        const QDateTime date(maintenant.date().addDays(-joursDeRetard), QTime(5, 10 + i % 50, 0));
        QString corps;
        if (i == 13) {
            corps = s("<MajAuto Date=\"") + formats::dateHeure(date) + s("\"><General><Etat Etat=\"0\"/>"); // cut short
        } else {
            corps = s("<MajAuto Date=\"") + formats::dateHeure(date) + s("\">") + sections(g, h, z) + s("</MajAuto>\r\n");
        }
        const QString fichier = rep + id + s(".xml");
        ecrire(fichier, cp1252(entete + corps));
        QFile f(fichier);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(date.addSecs(60), QFileDevice::FileModificationTime);

        if (i % 8 == 5)
            continue; // some franchisees have no history yet
        // 0404 runs daily for 150 days, red every Monday and for the last three weeks, with a
        // week off in between; the others weekly.
        const bool quotidien = i == 4;
        QString items;
        for (int j = quotidien ? 149 : 12; j >= 0; --j) {
            const QDateTime d(date.date().addDays(quotidien ? -j : -j * 7), QTime(5, 12));
            if (quotidien && j >= 40 && j < 47)
                continue;
            Section hg, hh, hz;
            if (quotidien ? d.date().dayOfWeek() == 1 || j < 21 : (i + j) % 5 == 0)
                hg = {1, {problemesGeneral.at(j % 2)}};
            if (!quotidien && (i + j) % 6 == 1)
                hz = {1, problemesZentrave};
            if (j == 0) {
                hg = g;
                hh = h;
                hz = z;
            }
            items += s("<Item Date=\"") + formats::dateHeure(d) + s("\">") + sections(hg, hh, hz) + s("</Item>");
        }
        ecrire(hist + id + s(".xml"), cp1252(entete + s("<MajAuto>") + items + s("</MajAuto>\r\n")));
    }
    ecrire(rep + s("LISEZMOI.txt"), "Rapports MajAuto des franchises.\r\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage : halvenor-demo-donnees REPERTOIRE PORT\n");
        return 2;
    }
    QString racine = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + u'/';
    const QString port = QString::fromLocal8Bit(argv[2]);

    const QString tables = racine + s("ZentraveAdministration/");
    QDir().mkpath(tables);
    tableFournis(tables);
    tableRemises(tables);
    tablePerso(tables);
    tablesMessages(tables);
    tablesDocuments(tables);
    ecrire(racine + s("Alias.ini"), cp1252(s("[ZentraveAdministration]\r\nChemin=") + tables + s("\r\n")));

    const QString ftp = racine + s("ftp/");
    QDir().mkpath(ftp + s("publication"));
    rapports(ftp + s("rapports/"));
    QJsonArray comptes;
    const auto compte = [&](const char *nom, const char *mdp, const QString &home, const char *perm) {
        QJsonObject o;
        o.insert(s("name"), s(nom));
        o.insert(s("password"), s(mdp));
        o.insert(s("home"), home);
        o.insert(s("perm"), s(perm));
        comptes.append(o);
    };
    compte("publication", "pub-2026", ftp + s("publication"), "elradfmwMT");
    compte("rapports", "maj-2026", ftp + s("rapports"), "elr");
    ecrire(ftp + s("comptes.json"), QJsonDocument(comptes).toJson());

    const QString ini = s("[Halvenor]\r\nRemise_Achat=1\r\nPersonnalisation=1\r\nMessage=1\r\nDocument=1\r\n"
                          "TypeEnvoi=FTP\r\n\r\n[Halvenor_URI]\r\nURI=\r\n\r\n"
                          "[Halvenor_FTP]\r\nLogin=publication\r\nMdp=pub-2026\r\nHost=127.0.0.1\r\nPort=")
                        + port
                        + s("\r\n\r\n[Halvenor_Rapport]\r\nHost=127.0.0.1\r\nLogin=rapports\r\nMdp=maj-2026\r\nPort=")
                        + port + s("\r\n\r\n[Halvenor_FNS_Exclu]\r\nFournisseur0=GA\r\nFournisseur1=PO\r\n");
    ecrire(racine + s("Halvenor.ini"), cp1252(ini));
    return 0;
}
