#include "TablesSiege.h"

#include "core/paradox/Table.h"

#include <QDir>

using paradox::TypeChamp;
using paradox::test::ecrireTable;

namespace siege {

namespace {

QVariant texte(const QString &s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

QVariant date(const QDate &d)
{
    return d.isValid() ? QVariant(d) : QVariant();
}

Colonne alpha(const char *nom, int taille)
{
    return {QString::fromLatin1(nom), TypeChamp::Alpha, taille};
}

Colonne court(const char *nom)
{
    return {QString::fromLatin1(nom), TypeChamp::Short, 0};
}

Colonne memo(const char *nom)
{
    return {QString::fromLatin1(nom), TypeChamp::Memo, 0};
}

Colonne nombre(const char *nom)
{
    return {QString::fromLatin1(nom), TypeChamp::Number, 0};
}

} // namespace

QString dossierTables(const QString &repertoireProgramme)
{
    QString d = QDir(repertoireProgramme).filePath(QStringLiteral("ZentraveAdministration"));
    QDir().mkpath(d);
    return d + u'/';
}

QList<Colonne> colonnesFournis()
{
    return {alpha("Code", 2), alpha("Nom", 30), court("Reglement"), memo("Observation"), alpha("Qualite", 10),
            alpha("Lieu", 40), alpha("Ville", 40), alpha("CP", 5), alpha("Rue1", 40), alpha("Rue2", 40),
            alpha("Tel", 20), alpha("Fax", 20), alpha("Portable", 20), alpha("Mail", 50), alpha("Contact", 30),
            alpha("Siren", 30), alpha("TVAIntracom", 30), alpha("APE", 30), court("Status"), alpha("Capital", 10),
            alpha("Banque", 5), alpha("Guichet", 5), alpha("Compte", 11), alpha("Cle", 2),
            alpha("Domiciliation", 20), alpha("LivraisonLieu", 40), alpha("LivraisonVille", 40),
            alpha("LivraisonCP", 5), alpha("LivraisonRue1", 40), alpha("LivraisonRue2", 40),
            alpha("LivraisonTel", 20), alpha("LivraisonFax", 20), alpha("LivraisonPortable", 20),
            alpha("LivraisonMail", 50), alpha("LivraisonContact", 30), court("LivraisonType"),
            alpha("LivraisonCode", 6), court("FermetureJour"), court("FermetureHeure"), court("Ferme"),
            court("ReglementA"), court("ReglementLe"), court("TVA"), nombre("CommCA"), nombre("CommMB"),
            memo("Message"), alpha("Franco", 50), nombre("ForfaitPort"), nombre("MargeAveugle"),
            nombre("CoefTarif"), alpha("Remises", 100)};
}

void ecrireFournis(const QString &dossier, const QList<std::pair<QString, QString>> &codesNoms)
{
    QList<QList<QVariant>> lignes;
    lignes.reserve(codesNoms.size());
    int i = 0;
    for (const auto &[code, nom] : codesNoms) {
        ++i;
        const QString n = QString::number(i);
        QList<QVariant> l;
        l << texte(code) << texte(nom) << 30 << QVariant(QStringLiteral("Livraison le mardi.\r\nAppeler avant."))
          << QVariant(QStringLiteral("Standard")) << QVariant(QStringLiteral("Zone d'activité"))
          << QVariant(QStringLiteral("Saint-Étienne")) << QVariant(QStringLiteral("42000"))
          << QVariant(n + QStringLiteral(" rue des Forges")) << QVariant() << QVariant(QStringLiteral("04 77 00 00 ") + n)
          << QVariant() << QVariant() << QVariant(QStringLiteral("contact@fournisseur") + n + QStringLiteral(".fr"))
          << QVariant(QStringLiteral("M. Durand")) << QVariant(QStringLiteral("123456789"))
          << QVariant(QStringLiteral("FR00123456789")) << QVariant(QStringLiteral("4619B")) << 1
          << QVariant(QStringLiteral("10000")) << QVariant(QStringLiteral("30002"))
          << QVariant(QStringLiteral("00550")) << QVariant(QStringLiteral("0000123456")) << QVariant(QStringLiteral("12"))
          << QVariant(QStringLiteral("Crédit Lyonnais"));
        // Delivery block: left null, as for most suppliers.
        for (int k = 0; k < 10; ++k)
            l << QVariant();
        l << 0 << QVariant() << 1 << 12 << 0 << 30 << 10 << 1 << 2.5 << 1.75 << QVariant()
          << QVariant(QStringLiteral("Franco à 500 €")) << 15.0 << QVariant() << 1.2 << QVariant();
        lignes << l;
    }
    ecrireTable(dossier + QStringLiteral("FOURNIS.DB"), colonnesFournis(), lignes);
}

QString codeFournisseur(int i)
{
    static const char chiffres[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    return QString(QChar::fromLatin1(chiffres[(i / 62) % 62])) + QChar::fromLatin1(chiffres[i % 62]);
}

QList<std::pair<QString, QString>> fournisseursNombreux(int n)
{
    QList<std::pair<QString, QString>> r;
    r.reserve(n);
    for (int i = 0; i < n; ++i)
        r.append({codeFournisseur(i), QStringLiteral("Fournisseur %1").arg(n - 1 - i, 5, 10, QChar(u'0'))});
    return r;
}

QList<Colonne> colonnesRemises()
{
    return {alpha("Fournisseur", 2), alpha("Client", 6), court("Type"), alpha("Famille", 2), alpha("Modele", 2),
            nombre("Taux"), {QStringLiteral("DateDebut"), TypeChamp::Date, 0}, alpha("Libelle", 40),
            memo("Observation")};
}

QList<QVariant> valeurs(const Remise &r)
{
    return {texte(r.fournisseur), texte(r.client), r.type, texte(r.famille), texte(r.modele), r.taux,
            date(r.dateDebut), texte(r.libelle), texte(r.observation)};
}

void ecrireRemisesNombreuses(const QString &dossier, qint64 n)
{
    ecrireTable(dossier + QStringLiteral("REMISES.DB"), colonnesRemises(), n, [](qint64 i, QList<QVariant> &ligne) {
        ligne = valeurs(Remise{QStringLiteral("AB"), {}, 2, QStringLiteral("01"), QStringLiteral("MA"), 1.5,
                               QDate(2013, 1, 1), QStringLiteral("Condition %1").arg(i), {}});
    });
}

void ecrireRemises(const QString &dossier, const QList<Remise> &remises)
{
    QList<QList<QVariant>> lignes;
    lignes.reserve(remises.size());
    for (const Remise &r : remises)
        lignes << valeurs(r);
    ecrireTable(dossier + QStringLiteral("REMISES.DB"), colonnesRemises(), lignes);
}

QList<Colonne> colonnesPerso()
{
    return {court("Groupe"), alpha("Famille", 2), alpha("Modele", 2), alpha("Fournisseur", 2), alpha("Produit", 2),
            alpha("Libelle", 50), memo("Photo"), memo("Detail"), memo("Xml"), memo("DetailCache"), court("Flag")};
}

void ecrirePerso(const QString &dossier, const QList<QList<QVariant>> &lignes)
{
    ecrireTable(dossier + QStringLiteral("Perso.DB"), colonnesPerso(), lignes);
}

QList<Colonne> colonnesTypes()
{
    return {court("Code"), alpha("Libelle", 40), court("Externe")};
}

namespace {
QList<QList<QVariant>> lignesTypes(const QList<TypeLigne> &types)
{
    QList<QList<QVariant>> lignes;
    for (const TypeLigne &t : types)
        lignes << QList<QVariant>{t.code, texte(t.libelle), t.externe};
    return lignes;
}
} // namespace

void ecrireMessageTypes(const QString &dossier, const QList<TypeLigne> &types)
{
    ecrireTable(dossier + QStringLiteral("MessageType.DB"), colonnesTypes(), lignesTypes(types));
}

void ecrireMesDocsTypes(const QString &dossier, const QList<TypeLigne> &types)
{
    ecrireTable(dossier + QStringLiteral("MesDocsType.DB"), colonnesTypes(), lignesTypes(types));
}

QList<Colonne> colonnesMessages()
{
    return {{QStringLiteral("Numero"), TypeChamp::Long, 0}, court("Type"), alpha("Titre", 60), memo("Texte"),
            {QStringLiteral("DateDebut"), TypeChamp::Date, 0}, {QStringLiteral("DateFin"), TypeChamp::Date, 0},
            court("Externe")};
}

void ecrireMessages(const QString &dossier, const QList<Message> &messages)
{
    QList<QList<QVariant>> lignes;
    for (const Message &m : messages)
        lignes << QList<QVariant>{m.numero, m.type, texte(m.titre), texte(m.texte), date(m.dateDebut),
                                  date(m.dateFin), m.externe};
    ecrireTable(dossier + QStringLiteral("Message.DB"), colonnesMessages(), lignes);
}

QList<Colonne> colonnesDocuments()
{
    return {{QStringLiteral("Numero"), TypeChamp::Long, 0}, court("Type"), alpha("Titre", 60), alpha("Fichier", 120),
            memo("Description"), {QStringLiteral("Modification"), TypeChamp::Timestamp, 0}, court("Externe")};
}

void ecrireMesDocs(const QString &dossier, const QList<Document> &documents)
{
    QList<QList<QVariant>> lignes;
    for (const Document &d : documents)
        lignes << QList<QVariant>{d.numero,
                                  d.type,
                                  texte(d.titre),
                                  texte(d.fichier),
                                  texte(d.description),
                                  d.modification.isValid() ? QVariant(d.modification) : QVariant(),
                                  d.externe};
    ecrireTable(dossier + QStringLiteral("MesDocs.DB"), colonnesDocuments(), lignes);
}

void ecrireExemple(const QString &dossier)
{
    ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")},
                            {QStringLiteral("CD"), QStringLiteral("Cuisines Duval")},
                            {QStringLiteral("EF"), QStringLiteral("Éditions Fabre & Fils")},
                            {QStringLiteral("GH"), QStringLiteral("Garnier Habitat")}});
    const QDate debut(2013, 3, 1);
    ecrireRemises(dossier,
                  {{QStringLiteral("AB"), {}, 2, QStringLiteral("01"), QStringLiteral("A1"), 12.5, debut,
                    QStringLiteral("Remise de base"), {}},
                   {QStringLiteral("AB"), QStringLiteral("C00042"), 2, QStringLiteral("01"), {}, 15.0, debut,
                    QStringLiteral("Remise client"), {}},
                   {QStringLiteral("CD"), {}, 1, QStringLiteral("02"), {}, 5.0, debut, QStringLiteral("Type 1"), {}},
                   {QStringLiteral("EF"), {}, 2, QStringLiteral("03"), QStringLiteral("B2"), 7.25, debut,
                    QStringLiteral("Meubles \"Prestige\" <Série A>"), QStringLiteral("Première ligne\r\nSeconde ligne")},
                   {QStringLiteral("ZZ"), {}, 2, QStringLiteral("04"), {}, 3.0, {}, QStringLiteral("Inconnu"), {}},
                   {QStringLiteral("GH"), {}, 2, {}, {}, {}, {}, {}, {}}});
    ecrirePerso(dossier,
                {{1, QStringLiteral("01"), QStringLiteral("A1"), QStringLiteral("AB"), QStringLiteral("P1"),
                  QStringLiteral("Façade chêne"), QStringLiteral("photos\\facade.jpg"),
                  QStringLiteral("Chêne massif\r\nFinition huilée"), QStringLiteral("<modele couleur=\"chêne\"/>"),
                  QVariant(), 0},
                 {2, QStringLiteral("02"), QStringLiteral("B2"), QStringLiteral("CD"), QStringLiteral("P2"),
                  QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), 1}});
    ecrireMessageTypes(dossier, {{1, QStringLiteral("Information"), 0},
                                 {2, QStringLiteral("Promotion"), 1},
                                 {3, QStringLiteral("Urgent"), QVariant()}});
    ecrireMessages(dossier, {{1, 1, QStringLiteral("Nouveaux tarifs"),
                              QStringLiteral("Les tarifs changent au 1er avril.\r\nMerci de votre attention."),
                              QDate(2013, 3, 25), QDate(2013, 4, 30), 0},
                             {2, 2, QStringLiteral("Message d'un magasin"), QStringLiteral("Texte externe"),
                              QDate(2013, 3, 20), {}, 1}});
    ecrireMesDocsTypes(dossier, {{1, QStringLiteral("Catalogue"), 0}, {2, QStringLiteral("Notice"), 0}});
    ecrireMesDocs(dossier, {{1, 1, QStringLiteral("Catalogue 2013"), QStringLiteral("docs\\catalogue2013.pdf"),
                             QStringLiteral("Catalogue complet\r\nÉdition de printemps"),
                             QDateTime(QDate(2013, 3, 25), QTime(6, 30)), 0},
                            {2, 2, QStringLiteral("Notice de pose"), QStringLiteral("docs\\notice.pdf"), {},
                             QDateTime(QDate(2013, 2, 1), QTime(0, 0)), 2}});
}

} // namespace siege
