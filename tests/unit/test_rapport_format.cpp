#include "OutilsTests.h"

#include "core/base/Erreurs.h"
#include "core/reports/RapportMajAuto.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

const QDate Aujourdhui(2013, 3, 25);

QString section(const QString &nom, const QString &etat, const QStringList &messages)
{
    QString s = u'<' + nom + u'>' + etat + QStringLiteral("<Messages>");
    for (const QString &m : messages)
        s += QStringLiteral("<Message>") + m + QStringLiteral("</Message>");
    return s + QStringLiteral("</Messages></") + nom + u'>';
}

QString etat(const QString &valeur)
{
    return QStringLiteral("<Etat Etat=\"") + valeur + QStringLiteral("\"/>");
}

class FormatRapport : public ::testing::Test
{
protected:
    QString ecrire(const QString &nom, const QByteArray &contenu)
    {
        const QString chemin = m_dossier.filePath(nom);
        EXPECT_TRUE(ecrireFichier(chemin, contenu));
        return chemin;
    }
    QString rapport(const QString &date, const QString &sections)
    {
        const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><MajAuto Date=\"") + date
            + QStringLiteral("\">") + sections + QStringLiteral("</MajAuto>");
        return ecrire(QStringLiteral("r%1.xml").arg(++m_numero), xml.toUtf8());
    }
    LectureRapport lire(const QString &chemin) { return LireRapportCourant(m_document, chemin, Aujourdhui); }

    QTemporaryDir m_dossier;
    TNativeXMLDocument m_document{RacineMajAuto};
    int m_numero = 0;
};

TEST(NomsRapport, ExtensionExactementXmlEnMinuscules)
{
    EXPECT_TRUE(estFichierRapport(QStringLiteral("0421.xml")));
    EXPECT_TRUE(estFichierRapport(QStringLiteral("a.xml.xml")));
    EXPECT_FALSE(estFichierRapport(QStringLiteral("0421.XML")));
    EXPECT_FALSE(estFichierRapport(QStringLiteral("0421.Xml")));
    EXPECT_FALSE(estFichierRapport(QStringLiteral("0421.xml.bak")));
    EXPECT_FALSE(estFichierRapport(QStringLiteral("0421xml")));
    EXPECT_FALSE(estFichierRapport(QStringLiteral("Historique")));
}

TEST(NomsRapport, IdentifiantJusquAuPremierXml)
{
    EXPECT_EQ(identifiantRapport(QStringLiteral("0421.xml")), QStringLiteral("0421"));
    EXPECT_EQ(identifiantRapport(QStringLiteral("a.xml.xml")), QStringLiteral("a"));
    EXPECT_EQ(identifiantRapport(QStringLiteral("b.xmlx.xml")), QStringLiteral("b"));
    EXPECT_EQ(identifiantRapport(QStringLiteral("Café 12.xml")), QStringLiteral("Café 12"));
}

TEST(NomsRapport, NomsDangereuxRefusesCommeCheminsLocaux)
{
    EXPECT_TRUE(nomLocalSur(QStringLiteral("0421.xml")));
    EXPECT_TRUE(nomLocalSur(QStringLiteral("..0421.xml")));
    EXPECT_FALSE(nomLocalSur(QStringLiteral("../0421.xml")));
    EXPECT_FALSE(nomLocalSur(QStringLiteral("sous/0421.xml")));
    EXPECT_FALSE(nomLocalSur(QStringLiteral("..\\0421.xml")));
    EXPECT_FALSE(nomLocalSur(QStringLiteral("..")));
    EXPECT_FALSE(nomLocalSur(QStringLiteral(".")));
    EXPECT_FALSE(nomLocalSur(QString()));
}

TEST_F(FormatRapport, TroisEtatsAZeroDonnentLaMiseAJourInstallee)
{
    const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                section(QStringLiteral("General"), etat(QStringLiteral("0")), {})
                                    + section(QStringLiteral("HVN"), etat(QStringLiteral("0")), {QStringLiteral("ignoré")})
                                    + section(QStringLiteral("Zentrave"), etat(QStringLiteral("0")), {})));
    EXPECT_TRUE(r.lu);
    EXPECT_FALSE(r.sectionsEnErreur);
    EXPECT_EQ(r.date, QDateTime(QDate(2013, 3, 25), QTime(6, 30)));
    EXPECT_EQ(r.texte, QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 06:30:00\n"
                                      "Mise à jour automatique installée."));
}

TEST_F(FormatRapport, EtatDeuxOuMoinsUnEstUnProbleme)
{
    for (const QString &valeur : {QStringLiteral("2"), QStringLiteral("-1"), QStringLiteral("abc"), QString()}) {
        const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                    section(QStringLiteral("General"), etat(QStringLiteral("0")), {})
                                        + section(QStringLiteral("HVN"), etat(valeur), {QStringLiteral("Base absente")})
                                        + section(QStringLiteral("Zentrave"), etat(QStringLiteral("0")), {})));
        EXPECT_TRUE(r.sectionsEnErreur) << valeur.toStdString();
        EXPECT_EQ(r.texte, QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 06:30:00\n"
                                          "[HVN] Base absente\n"))
            << valeur.toStdString();
    }
}

TEST_F(FormatRapport, AttributEtatAbsentListeLesMessages)
{
    const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                section(QStringLiteral("General"), QStringLiteral("<Etat/>"),
                                        {QStringLiteral("Un"), QStringLiteral("Deux; trois")})
                                    + section(QStringLiteral("HVN"), etat(QStringLiteral("0")), {})
                                    + section(QStringLiteral("Zentrave"), etat(QStringLiteral("0")), {})));
    EXPECT_TRUE(r.sectionsEnErreur);
    EXPECT_TRUE(r.texte.endsWith(QStringLiteral("\n[General] Un\n[General] Deux; trois\n")));
}

TEST_F(FormatRapport, MessagesVidesDansUneSectionEnErreur)
{
    const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                section(QStringLiteral("General"), etat(QStringLiteral("0")), {})
                                    + section(QStringLiteral("HVN"), etat(QStringLiteral("0")), {})
                                    + section(QStringLiteral("Zentrave"), etat(QStringLiteral("1")), {})));
    EXPECT_TRUE(r.sectionsEnErreur);
    EXPECT_EQ(r.texte, QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 06:30:00\n"));
    // The red line still says why, in one line.
    EXPECT_EQ(motifRapport(r, true), QStringLiteral("[Zentrave] En erreur, sans message"));
    EXPECT_EQ(motifRapport(r, false), QStringLiteral("Rapport trop ancien"));
}

TEST_F(FormatRapport, MotifPremierMessageNonVide)
{
    // A blank message is passed over for the next section's one, which wins over the date.
    const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                section(QStringLiteral("General"), etat(QStringLiteral("1")), {QStringLiteral("  ")})
                                    + section(QStringLiteral("HVN"), etat(QStringLiteral("1")),
                                              {QStringLiteral("Base absente"), QStringLiteral("Deux")})
                                    + section(QStringLiteral("Zentrave"), etat(QStringLiteral("0")), {})));
    EXPECT_EQ(motifRapport(r, true), QStringLiteral("[HVN] Base absente"));
    EXPECT_EQ(motifRapport(r, false), QStringLiteral("[HVN] Base absente"));
}

TEST_F(FormatRapport, SectionsDansLOrdreGeneralHvnZentraveQuelQueSoitLeFichier)
{
    const auto r = lire(rapport(QStringLiteral("25/03/2013 06:30:00"),
                                section(QStringLiteral("Zentrave"), etat(QStringLiteral("1")), {QStringLiteral("Z")})
                                    + section(QStringLiteral("HVN"), etat(QStringLiteral("0")), {QStringLiteral("H")})
                                    + section(QStringLiteral("General"), etat(QStringLiteral("3")), {QStringLiteral("G")})));
    EXPECT_EQ(r.texte, QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013 06:30:00\n"
                                      "[General] G\n[Zentrave] Z\n"));
}

TEST_F(FormatRapport, MinuitSansHeureEtDateSouple)
{
    const QString tout0 = section(QStringLiteral("General"), etat(QStringLiteral("0")), {})
        + section(QStringLiteral("HVN"), etat(QStringLiteral("0")), {})
        + section(QStringLiteral("Zentrave"), etat(QStringLiteral("0")), {});
    auto r = lire(rapport(QStringLiteral("25/03/2013 00:00:00"), tout0));
    EXPECT_TRUE(r.texte.startsWith(QStringLiteral("Derniere mise à jour automatique effectuée le 25/03/2013\n")));
    r = lire(rapport(QStringLiteral("5/3/13 7:05"), tout0));
    EXPECT_EQ(r.date, QDateTime(QDate(2013, 3, 5), QTime(7, 5)));
    EXPECT_TRUE(r.texte.startsWith(QStringLiteral("Derniere mise à jour automatique effectuée le 05/03/2013 07:05:00\n")));
}

TEST_F(FormatRapport, FichierIlisibleEstUnRapportEnErreur)
{
    const QString absent = m_dossier.filePath(QStringLiteral("absent.xml"));
    auto r = lire(absent);
    EXPECT_FALSE(r.lu);
    EXPECT_TRUE(r.sectionsEnErreur);
    EXPECT_EQ(r.texte, QStringLiteral("Impossible de lire le fichier XML : ") + absent);

    const QString casse = ecrire(QStringLiteral("casse.xml"), "<MajAuto Date=\"25/03/2013\"><General>");
    r = lire(casse);
    EXPECT_FALSE(r.lu);
    EXPECT_EQ(r.texte, QStringLiteral("Impossible de lire le fichier XML : ") + casse);
}

TEST_F(FormatRapport, EntitesDeclareesDonnentUnRapportIllisible)
{
    // A franchisee's file that froze the report window: one entity referenced in every Message.
    QByteArray xml = "<?xml version=\"1.0\"?><!DOCTYPE MajAuto [<!ENTITY m \"" + QByteArray(200, 'm')
        + "\">]><MajAuto Date=\"25/03/2013\"><General><Etat Etat=\"1\"/><Messages>";
    for (int i = 0; i < 5'000; ++i)
        xml += "<Message>&m;&m;&m;&m;</Message>";
    xml += "</Messages></General></MajAuto>";
    const auto r = LireRapportOctets(m_document, xml, QStringLiteral("Rapport/0421.xml"), Aujourdhui);
    EXPECT_FALSE(r.lu);
    EXPECT_TRUE(r.sectionsEnErreur);
    EXPECT_EQ(r.texte, QStringLiteral("Impossible de lire le fichier XML : Rapport/0421.xml"));
}

// A red report that says so, no longer an error that ends the refresh.
TEST_F(FormatRapport, DateIllisibleOuAbsenteEstUneErreur)
{
    const QStringList chemins{rapport(QStringLiteral("2013-03-25"), QString()),
                              rapport(QStringLiteral("31/02/2013"), QString()),
                              ecrire(QStringLiteral("sansdate.xml"), "<MajAuto><General/></MajAuto>")};
    for (const QString &chemin : chemins) {
        const LectureRapport r = lire(chemin);
        EXPECT_FALSE(r.lu);
        EXPECT_TRUE(r.sectionsEnErreur);
        EXPECT_EQ(r.texte, DebutDateIllisible + chemin);
    }
    const QString autreRacine = ecrire(QStringLiteral("autre.xml"), "<Autre Date=\"25/03/2013\"/>");
    EXPECT_EQ(lire(autreRacine).texte, DebutXmlIllisible + autreRacine);
}

TEST_F(FormatRapport, EncodageDeclareParLeFichier)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"windows-1252\"?><MajAuto Date=\"25/03/2013 06:30:00\">"
                     "<General><Etat Etat=\"1\"/><Messages><Message>Probl\xe8me \x80</Message></Messages></General>"
                     "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></MajAuto>";
    const auto r = lire(ecrire(QStringLiteral("cp.xml"), xml));
    EXPECT_TRUE(r.texte.endsWith(QStringLiteral("[General] Problème €\n")));
    // Bytes windows-1252 leaves unassigned: read as the C1 controls of the same code.
    xml.replace("\xe8me \x80", "\x81\x8D\x8F\x90\x9D");
    const auto c1 = LireRapportOctets(m_document, xml, QStringLiteral("c1.xml"), Aujourdhui);
    EXPECT_TRUE(c1.texte.endsWith(QStringLiteral("[General] Probl\u0081\u008D\u008F\u0090\u009D\n")))
        << qPrintable(c1.texte);
}

TEST_F(FormatRapport, HistoriqueItemParItemJusquALaDateFautive)
{
    const QByteArray xml =
        "<?xml version=\"1.0\"?><MajAuto>"
        "<Item Date=\"24/03/2013 06:30:00\"><General><Etat Etat=\"0\"/><Messages/></General>"
        "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>"
        "<Autre/>"
        "<Item Date=\"25/03/2013 00:00:00\"><General><Etat Etat=\"1\"/><Messages><Message>a</Message>"
        "<Message>b</Message></Messages></General>"
        "<HVN><Etat Etat=\"0\"/><Messages/></HVN><Zentrave><Etat Etat=\"0\"/><Messages/></Zentrave></Item>"
        "<Item Date=\"hier\"/>"
        "<Item Date=\"26/03/2013\"/>"
        "</MajAuto>";
    TNativeXMLDocument doc(RacineMajAuto);
    doc.LoadFromFile(ecrire(QStringLiteral("h.xml"), xml));
    QList<EntreeHistorique> lues;
    EXPECT_THROW(ParcourirHistorique(doc, Aujourdhui, [&](const EntreeHistorique &e) { lues << e; }), HalvenorError);
    ASSERT_EQ(lues.size(), 2);
    EXPECT_EQ(lues[0].date, QDateTime(QDate(2013, 3, 24), QTime(6, 30)));
    EXPECT_FALSE(lues[0].enErreur);
    EXPECT_EQ(lues[0].texte, QStringLiteral("Mise à jour automatique installée."));
    EXPECT_TRUE(lues[1].enErreur);
    EXPECT_EQ(lues[1].texte, QStringLiteral("[General] a\n[General] b\n"));
}

TEST(RapportRecent, ToleranceEnJoursCalendaires)
{
    const QDate j(2013, 3, 25);
    const QDateTime aujourdhui(j, QTime(23, 59));
    const QDateTime hierMinuit(j.addDays(-1), QTime(0, 0));
    const QDateTime avantHier(j.addDays(-2), QTime(23, 59, 59));
    EXPECT_TRUE(RapportRecent(aujourdhui, aujourdhui, 1, j));
    EXPECT_TRUE(RapportRecent(hierMinuit, aujourdhui, 1, j));
    EXPECT_FALSE(RapportRecent(avantHier, aujourdhui, 1, j));
    EXPECT_TRUE(RapportRecent(avantHier, aujourdhui, 2, j));
    // Both dates must be recent.
    EXPECT_FALSE(RapportRecent(aujourdhui, avantHier, 1, j));
    EXPECT_FALSE(RapportRecent(aujourdhui, QDateTime(), 31, j));
    EXPECT_TRUE(RapportRecent(QDateTime(j.addDays(-31), QTime(0, 0)), aujourdhui, 31, j));
    EXPECT_FALSE(RapportRecent(QDateTime(j.addDays(-32), QTime(23, 0)), aujourdhui, 31, j));
}

TEST(CsvHistorique, OctetsExacts)
{
    const QByteArray csv = CsvHistorique({{QStringLiteral("24/03/2013"), QStringLiteral("Mise à jour automatique installée.")},
                                          {QStringLiteral("25/03/2013"), QStringLiteral("[General] a; b\n[HVN] €\n")}});
    EXPECT_EQ(csv, QByteArray("24/03/2013;Mise \xe0 jour automatique install\xe9" "e.;\r\n"
                              "25/03/2013;[General] a; b\n[HVN] \x80\n;\r\n"));
    EXPECT_TRUE(CsvHistorique({}).isEmpty());
    // Outside windows-1252: "?", as everywhere else the system writes that code page.
    EXPECT_EQ(CsvHistorique({{QStringLiteral("25/03/2013"), QStringLiteral("[HVN] \u4e2d")}}),
              QByteArray("25/03/2013;[HVN] ?;\r\n"));
}

TEST(CsvHistorique, EcritureRemplaceEtEchoueSurDossierAbsent)
{
    QTemporaryDir d;
    const QString chemin = d.filePath(QStringLiteral("h.csv"));
    EcrireFichier(chemin, "ancien contenu plus long");
    EcrireFichier(chemin, "x;y;\r\n");
    QFile f(chemin);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("x;y;\r\n"));
    EXPECT_THROW(EcrireFichier(d.filePath(QStringLiteral("absent/h.csv")), "x"), HalvenorError);
}

} // namespace
