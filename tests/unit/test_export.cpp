// Export generation: record-to-line conversion, the supplier checks and the four
// generators, on real Paradox tables compared byte for byte with the expected files.

#include "OutilsTests.h"
#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Horloge.h"
#include "core/config/IniFile.h"
#include "core/export/Conversion.h"
#include "core/export/Generateurs.h"
#include "core/export/TablesHalvenor.h"
#include "core/xml/EcritureXml.h"
#include "core/xml/NativeXml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using paradox::TypeChamp;
using paradox::test::Colonne;
using paradox::test::ecrireTable;

namespace {

// Records what a generator tells the progress bar.
class ProgressionEnregistree : public Progression
{
public:
    void definirPosition(int p) override { position = p; }
    void definirMaximum(int m) override
    {
        maximumCourant = m;
        maximums.push_back(m);
    }
    int maximum() const override { return maximumCourant; }
    void avancer() override { ++position; }

    int position = -1;
    int maximumCourant = -1;
    std::vector<int> maximums;
};

// A missing file reads as "<absent>", never as an empty one.
QByteArray lire(const QString &chemin)
{
    return lireFichier(chemin, "<absent>");
}

// The whole expected file: declaration, Version at the fixed clock, Configuration for the
// two-pass exports, then the lines (each given as its attributes, already escaped, windows-1252).
QByteArray attendu(const QByteArray &racine, const QList<QByteArray> &lignes, bool configuration = false,
                   const QByteArray &date = "20130325063000")
{
    QByteArray a = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<" + racine + "><Version Numero=\"1.0\" Date=\""
                   + date + "\"/>";
    if (configuration)
        a += "<Configuration ViderExterne=\"1\"/>";
    if (lignes.isEmpty()) {
        a += "<Lignes/>";
    } else {
        a += "<Lignes>";
        for (const QByteArray &l : lignes)
            a += l.isEmpty() ? QByteArray("<Ligne/>") : "<Ligne " + l + "/>";
        a += "</Lignes>";
    }
    return a + "</" + racine + ">\n";
}

class Export : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        definirChemins(Chemins::depuisRepertoire(temp.path()));
        ASSERT_TRUE(QDir().mkpath(chemins().RepertoirePreparer));
        dossier = siege::dossierTables(temp.path());
        definirHorloge(&horlogeFixe);
    }
    void TearDown() override { definirHorloge(nullptr); }

    QString preparer(const char *fichier) const { return chemins().RepertoirePreparer + QString::fromLatin1(fichier); }

    void exclure(const QString &cle, const QString &code)
    {
        IniFile(chemins().FichierIni).writeString(QStringLiteral("Halvenor_FNS_Exclu"), cle, code);
    }

    QTemporaryDir temp;
    QString dossier;
    HorlogeFixe horlogeFixe{QDateTime(QDate(2013, 3, 25), QTime(6, 30, 0))};
};

// ---------------------------------------------------------------- conversion

TEST_F(Export, LigneTextsOfEveryFieldKindAndNoAttributeForNulls)
{
    const QList<Colonne> colonnes{{QStringLiteral("Nombre"), TypeChamp::Short, 0},
                                  {QStringLiteral("Grand"), TypeChamp::Long, 0},
                                  {QStringLiteral("Texte"), TypeChamp::Alpha, 20},
                                  {QStringLiteral("Taux"), TypeChamp::Number, 0},
                                  {QStringLiteral("Jour"), TypeChamp::Date, 0},
                                  {QStringLiteral("Moment"), TypeChamp::Timestamp, 0},
                                  {QStringLiteral("Note"), TypeChamp::Memo, 0}};
    ecrireTable(dossier + QStringLiteral("T.DB"), colonnes,
                {{-12, -70000, QStringLiteral("Cr\u00e8me & <br>"), 1234.5, QDate(2013, 3, 1),
                  QDateTime(QDate(2013, 3, 2), QTime(0, 0)), QStringLiteral("Un\r\nDeux\r\nTrois")},
                 {QVariant(), QVariant(), QString(), QVariant(), QVariant(), QVariant(), QVariant()},
                 {0, 5, QVariant(), 0.1, QVariant(), QDateTime(QDate(2013, 3, 2), QTime(14, 5, 9)), QVariant()}});

    auto table = paradox::Table::depuisChemin(dossier + QStringLiteral("T.DB"));
    table->open();
    TNativeXMLDocument doc(QStringLiteral("R"));
    const TNativeXMLNode lignes = doc.Root().AddChild(QStringLiteral("Lignes"));
    for (table->first(); !table->eof(); table->next())
        EcrireLigne(*table, lignes.AddChild(QStringLiteral("Ligne")));

    EXPECT_EQ(doc.toBytes(),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<R><Lignes>"
              "<Ligne Nombre=\"-12\" Grand=\"-70000\" Texte=\"Cr\xE8me &amp; &lt;br&gt;\" Taux=\"1234,5\" "
              "Jour=\"01/03/2013\" Moment=\"02/03/2013\" Note=\"Un&#13;&#10;Deux&#13;&#10;Trois\"/>"
              "<Ligne/>"
              "<Ligne Nombre=\"0\" Grand=\"5\" Taux=\"0,1\" Moment=\"02/03/2013 14:05:09\"/>"
              "</Lignes></R>\n");
}

TEST_F(Export, LigneAvecValeurReplacesOnlyTheExactNonNullField)
{
    ecrireTable(dossier + QStringLiteral("T.DB"),
                {{QStringLiteral("Code"), TypeChamp::Short, 0},
                 {QStringLiteral("externe"), TypeChamp::Short, 0},
                 {QStringLiteral("Externe"), TypeChamp::Short, 0}},
                {{1, 7, 0}, {2, 7, QVariant()}, {3, QVariant(), 5}});
    auto table = paradox::Table::depuisChemin(dossier + QStringLiteral("T.DB"));
    table->open();
    TNativeXMLDocument doc(QStringLiteral("R"));
    for (table->first(); !table->eof(); table->next())
        EcrireLigneAvecValeur(*table, doc.Root().AddChild(QStringLiteral("Ligne")), QStringLiteral("Externe"),
                              QStringLiteral("1"));
    EXPECT_EQ(doc.toBytes(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<R>"
                             "<Ligne Code=\"1\" externe=\"7\" Externe=\"1\"/>"
                             "<Ligne Code=\"2\" externe=\"7\"/>"
                             "<Ligne Code=\"3\" Externe=\"1\"/>"
                             "</R>\n");
}

TEST_F(Export, HorodatageIsFourteenDigitsOnTheTwentyFourHourClock)
{
    EXPECT_EQ(Horodatage(), QStringLiteral("20130325063000"));
    horlogeFixe.instant = QDateTime(QDate(2009, 12, 5), QTime(23, 4, 9));
    EXPECT_EQ(Horodatage(), QStringLiteral("20091205230409"));
}

TEST_F(Export, TablePourExportNames)
{
    TablesHalvenor tables(temp.path());
    EXPECT_EQ(tables.TablePourExport(QStringLiteral("Personnalisation")), &tables.tblPerso);
    EXPECT_EQ(tables.TablePourExport(QStringLiteral("MES_DOCS_TYPE")), &tables.tblMesDocsType);
    EXPECT_EQ(tables.TablePourExport(QStringLiteral("remises")), nullptr);
}

TEST_F(Export, ExclusionListReadsValuesAfterTheFirstEqualsSign)
{
    const QString ini = chemins().FichierIni;
    EXPECT_FALSE(FournisseurExclu(ini, QStringLiteral("AB"))) << "no Halvenor.ini: nothing excluded";

    exclure(QStringLiteral("Fournisseur0"), QStringLiteral("AB"));
    exclure(QStringLiteral("Autre"), QStringLiteral("CD"));
    exclure(QStringLiteral("Fournisseur1"), QStringLiteral("X=Y"));
    IniFile(ini).writeString(QStringLiteral("Halvenor"), QStringLiteral("Remise_Achat"), QStringLiteral("EF"));

    TablesHalvenor tables(temp.path());
    ControleFournisseurs controle(tables.tblFns, ini);
    const std::vector<std::pair<QString, bool>> cas{
        {QStringLiteral("AB"), true},  {QStringLiteral("ab"), false},  {QStringLiteral("AB "), false},
        {QStringLiteral("CD"), true},  {QStringLiteral("X=Y"), true},  {QStringLiteral("Y"), false},
        {QStringLiteral("EF"), false}, {QStringLiteral("Fournisseur0"), false}, {QString(), false}};
    for (const auto &[code, exclu] : cas) {
        EXPECT_EQ(FournisseurExclu(ini, code), exclu) << code.toStdString();
        EXPECT_EQ(controle.FournisseurExclu(code), exclu) << "read once: " << code.toStdString();
    }
}

TEST_F(Export, SupplierExistenceReadOnceAgreesWithAFreshWalk)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")},
                                   {QStringLiteral("cd"), QStringLiteral("Cuisines Duval")},
                                   {QStringLiteral("EF"), QStringLiteral("Fabre")}});
    TablesHalvenor tables(temp.path());
    ControleFournisseurs controle(tables.tblFns, chemins().FichierIni);
    for (const char *c : {"AB", "EF", "cd", "CD", "ab", "ZZ", "", "A"}) {
        const QString code = QString::fromLatin1(c);
        const bool frais = FournisseurExiste(tables.tblFns, code);
        EXPECT_FALSE(tables.tblFns.isOpen()) << "a fresh walk closes the supplier table";
        EXPECT_EQ(controle.FournisseurExiste(code), frais) << c;
        EXPECT_FALSE(tables.tblFns.isOpen()) << "so does the single read";
        EXPECT_EQ(frais, code == u"AB" || code == u"EF" || code == u"cd") << c;
    }
}

// ---------------------------------------------------------------- purchase conditions

TEST_F(Export, RemiseKeepsOnlyClientlessTypeTwoOfExistingNonExcludedSuppliers)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")},
                                   {QStringLiteral("CD"), QStringLiteral("Cuisines Duval")},
                                   {QStringLiteral("EX"), QStringLiteral("Exclu")},
                                   {QStringLiteral("EF"), QStringLiteral("Fabre")},
                                   {QStringLiteral("gh"), QStringLiteral("Garnier")}});
    exclure(QStringLiteral("Fournisseur0"), QStringLiteral("EX"));
    exclure(QStringLiteral("Ancien"), QStringLiteral("CD"));
    const QDate debut(2013, 3, 1);
    siege::ecrireRemises(
        dossier,
        {{QStringLiteral("AB"), {}, 2, QStringLiteral("01"), QStringLiteral("A1"), 12.5, debut,
          QStringLiteral("Meubles \"Prestige\" <S\u00e9rie> & Cie"), QStringLiteral("Ligne 1\r\nLigne 2")},
         {QStringLiteral("AB"), QStringLiteral("C00042"), 2, QStringLiteral("01"), {}, 15.0, debut, {}, {}},
         {QStringLiteral("AB"), {}, 1, QStringLiteral("01"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("AB"), {}, 3, QStringLiteral("01"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("EX"), {}, 2, QStringLiteral("02"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("CD"), {}, 2, QStringLiteral("03"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("ZZ"), {}, 2, QStringLiteral("04"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("ab"), {}, 2, QStringLiteral("05"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("GH"), {}, 2, QStringLiteral("06"), {}, 5.0, {}, {}, {}},
         {QStringLiteral("EF"), {}, 2, {}, {}, {}, {}, {}, {}},
         {QStringLiteral("AB"), {}, 2, {}, {}, -0.25, {}, QStringLiteral("Fa\u00e7ade \u20ac \u0141"), {}}});

    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    const QStringList ecrits = generer(Genre::Remise, tables, siege::contexte(progression));

    EXPECT_EQ(ecrits, QStringList{preparer("remise_achat.xml")});
    EXPECT_EQ(lire(preparer("remise_achat.xml")),
              attendu("RemisesAchat",
                      {"Fournisseur=\"AB\" Type=\"2\" Famille=\"01\" Modele=\"A1\" Taux=\"12,5\" "
                       "DateDebut=\"01/03/2013\" Libelle=\"Meubles &quot;Prestige&quot; &lt;S\xE9rie&gt; &amp; Cie\" "
                       "Observation=\"Ligne 1&#13;&#10;Ligne 2\"",
                       "Fournisseur=\"EF\" Type=\"2\"",
                       "Fournisseur=\"AB\" Type=\"2\" Taux=\"-0,25\" Libelle=\"Fa\xE7" "ade \x80 ?\""}));
    EXPECT_EQ(progression.maximums, std::vector<int>{11});
    EXPECT_EQ(progression.position, 11) << "every record is a step, selected or not";
    // Events run after each record, and again while the file is synced to disk.
    EXPECT_FALSE(tables.tblRemise.isOpen());
    EXPECT_FALSE(tables.tblFns.isOpen());

    // A second run gives the same lines; only the Date moves.
    horlogeFixe.instant = QDateTime(QDate(2013, 3, 26), QTime(7, 0, 1));
    const QByteArray premier = lire(preparer("remise_achat.xml"));
    generer(Genre::Remise, tables, siege::contexte(progression));
    QByteArray second = lire(preparer("remise_achat.xml"));
    EXPECT_EQ(second.replace("20130326070001", "20130325063000"), premier);
}

TEST_F(Export, RemiseWithoutHalvenorIniExcludesNobody)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    siege::ecrireRemises(dossier, {{QStringLiteral("AB"), {}, 2, {}, {}, {}, {}, {}, {}}});
    ASSERT_FALSE(QFile::exists(chemins().FichierIni));
    TablesHalvenor tables(temp.path());
    ProgressionMuette progression;
    generer(Genre::Remise, tables, siege::contexte(progression));
    EXPECT_EQ(lire(preparer("remise_achat.xml")), attendu("RemisesAchat", {"Fournisseur=\"AB\" Type=\"2\""}));
}

TEST_F(Export, EmptyRemisesGivesVersionAndEmptyLignes)
{
    siege::ecrireRemises(dossier, {});
    // No FOURNIS.DB at all: no record ever reaches the supplier checks.
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    generer(Genre::Remise, tables, siege::contexte(progression));
    EXPECT_EQ(lire(preparer("remise_achat.xml")), attendu("RemisesAchat", {}));
    EXPECT_EQ(progression.maximums, std::vector<int>{0});
    EXPECT_EQ(progression.position, 0);
}

TEST_F(Export, RemiseFailuresLeaveThePreviousFileWhole)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    auto colonnes = siege::colonnesRemises();
    colonnes.removeAt(2); // no Type
    ecrireTable(dossier + QStringLiteral("REMISES.DB"), colonnes,
                {{QStringLiteral("AB"), QVariant(), QVariant(), QVariant(), 1.0, QVariant(), QVariant(), QVariant()}});
    ASSERT_TRUE(ecrireFichier(preparer("remise_achat.xml"), "ancien fichier"));

    TablesHalvenor tables(temp.path());
    ProgressionMuette progression;
    EXPECT_THROW(generer(Genre::Remise, tables, siege::contexte(progression)), HalvenorError);
    EXPECT_EQ(lire(preparer("remise_achat.xml")), "ancien fichier");

    // Supplier table missing: the first record that reaches the existence check fails.
    tables.tblRemise.close(); // left open by the failed run
    QFile::remove(dossier + QStringLiteral("FOURNIS.DB"));
    siege::ecrireRemises(dossier, {{QStringLiteral("AB"), QStringLiteral("C1"), 2, {}, {}, {}, {}, {}, {}},
                                   {QStringLiteral("AB"), {}, 2, {}, {}, {}, {}, {}, {}}});
    EXPECT_THROW(generer(Genre::Remise, tables, siege::contexte(progression)), HalvenorError);
    EXPECT_EQ(lire(preparer("remise_achat.xml")), "ancien fichier");
    EXPECT_EQ(progression.position(), 1) << "stopped at the second record";

    // Working folder missing: the save fails.
    tables.tblRemise.close();
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    ASSERT_TRUE(QDir(chemins().RepertoirePreparer).removeRecursively());
    EXPECT_THROW(generer(Genre::Remise, tables, siege::contexte(progression)), HalvenorError);
}

// ---------------------------------------------------------------- model personalisation

TEST_F(Export, PersonnalisationWritesEveryRecordWithItsDeclaredFields)
{
    siege::ecrirePerso(dossier,
                       {{1, QStringLiteral("01"), QStringLiteral("A1"), QStringLiteral("AB"), QStringLiteral("P1"),
                         QStringLiteral("Fa\u00e7ade ch\u00eane"), QStringLiteral("photos\\facade.jpg"),
                         QStringLiteral("Ch\u00eane massif\r\nFinition huil\u00e9e\r\n"),
                         QStringLiteral("<modele couleur=\"ch\u00eane\">\r\n\t<a/>\r\n</modele>"),
                         QStringLiteral("cach\u00e9"), 0},
                        {2, QStringLiteral("02"), QStringLiteral("B2"), QStringLiteral("CD"), QStringLiteral("P2"),
                         QString(), QString(), QString(), QString(), QString(), 1},
                        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                         QVariant(), QVariant(), QVariant(), QVariant()}});
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    EXPECT_EQ(generer(Genre::Personnalisation, tables, siege::contexte(progression)),
              QStringList{preparer("personnalisation.xml")});
    EXPECT_EQ(lire(preparer("personnalisation.xml")),
              attendu("Personnalisations",
                      {"Groupe=\"1\" Famille=\"01\" Modele=\"A1\" Fournisseur=\"AB\" Produit=\"P1\" "
                       "Libelle=\"Fa\xE7" "ade ch\xEAne\" Photo=\"photos\\facade.jpg\" "
                       "Detail=\"Ch\xEAne massif&#13;&#10;Finition huil\xE9" "e&#13;&#10;\" "
                       "Xml=\"&lt;modele couleur=&quot;ch\xEAne&quot;&gt;&#13;&#10;&#9;&lt;a/&gt;&#13;&#10;&lt;/modele&gt;\" "
                       "DetailCache=\"cach\xE9\" Flag=\"0\"",
                       "Groupe=\"2\" Famille=\"02\" Modele=\"B2\" Fournisseur=\"CD\" Produit=\"P2\" Flag=\"1\"",
                       ""}));
    EXPECT_EQ(progression.maximums, std::vector<int>{3});
    EXPECT_EQ(progression.position, 3);
    EXPECT_FALSE(tables.tblPerso.isOpen());

    // The memo comes back whole, line breaks included, through a real parser.
    TNativeXMLDocument relu(QStringLiteral("Personnalisations"));
    relu.LoadFromFile(preparer("personnalisation.xml"));
    TNativeXMLNodeList liste;
    relu.Root().FindChild(QStringLiteral("Lignes")).ChildrenByName(QStringLiteral("Ligne"), liste);
    ASSERT_EQ(liste.Count(), 3);
    EXPECT_EQ(liste.Get(0).GetAttribute(QStringLiteral("Detail"), {}),
              QStringLiteral("Ch\u00eane massif\r\nFinition huil\u00e9e\r\n"));
}

TEST_F(Export, PersonnalisationIgnoresExtraFieldsAndNeedsEveryDeclaredOne)
{
    // File order differs from the declared order, with one field more.
    QList<Colonne> colonnes = siege::colonnesPerso();
    colonnes.move(10, 0); // Flag first
    colonnes.insert(3, {QStringLiteral("Extra"), TypeChamp::Alpha, 10});
    ecrireTable(dossier + QStringLiteral("Perso.DB"), colonnes,
                {{4, 1, QStringLiteral("01"), QStringLiteral("en plus"), QStringLiteral("A1"), QStringLiteral("AB"),
                  QStringLiteral("P1"), QStringLiteral("Lib"), QVariant(), QVariant(), QVariant(), QVariant()}});
    TablesHalvenor tables(temp.path());
    ProgressionMuette progression;
    generer(Genre::Personnalisation, tables, siege::contexte(progression));
    EXPECT_EQ(lire(preparer("personnalisation.xml")),
              attendu("Personnalisations", {"Groupe=\"1\" Famille=\"01\" Modele=\"A1\" Fournisseur=\"AB\" "
                                            "Produit=\"P1\" Libelle=\"Lib\" Flag=\"4\""}));

    colonnes = siege::colonnesPerso();
    colonnes.removeAt(9); // no DetailCache
    ecrireTable(dossier + QStringLiteral("Perso.DB"), colonnes, {});
    ASSERT_TRUE(ecrireFichier(preparer("personnalisation.xml"), "ancien"));
    EXPECT_THROW(generer(Genre::Personnalisation, tables, siege::contexte(progression)), HalvenorError);
    EXPECT_EQ(lire(preparer("personnalisation.xml")), "ancien");
}

TEST_F(Export, EmptyPersoGivesEmptyLignes)
{
    siege::ecrirePerso(dossier, {});
    TablesHalvenor tables(temp.path());
    ProgressionMuette progression;
    generer(Genre::Personnalisation, tables, siege::contexte(progression));
    EXPECT_EQ(lire(preparer("personnalisation.xml")), attendu("Personnalisations", {}));
}

// ---------------------------------------------------------------- messages and documents

TEST_F(Export, MessagesExportOnlyInternalRecordsMarkedExternal)
{
    siege::ecrireMessageTypes(dossier, {{1, QStringLiteral("Information"), 0},
                                        {2, QStringLiteral("Promotion"), 1},
                                        {3, QStringLiteral("Urgent"), QVariant()}});
    QList<siege::Message> messages;
    messages << siege::Message{1, 1, QStringLiteral("Tarifs & d\u00e9lais"),
                               QStringLiteral("Les tarifs changent.\r\nMerci."), QDate(2013, 3, 25), {}, 0};
    messages << siege::Message{2, 2, QStringLiteral("Externe"), {}, {}, {}, 2};
    messages << siege::Message{3, 1, QStringLiteral("Sans marque"), {}, {}, QDate(2013, 4, 30), QVariant()};
    for (int i = 4; i <= 10; ++i)
        messages << siege::Message{i, 1, QStringLiteral("Lu"), {}, {}, {}, -1};
    siege::ecrireMessages(dossier, messages);

    std::vector<QString> ordre;
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    const QStringList ecrits = generer(Genre::Messages, tables, siege::contexte(progression),
                                       [&ordre](const QString &c) { ordre.push_back(c); });
    EXPECT_EQ(ecrits, (QStringList{preparer("message_type.xml"), preparer("message.xml")}));
    EXPECT_EQ(ordre, (std::vector<QString>{preparer("message_type.xml"), preparer("message.xml")}));
    EXPECT_EQ(lire(preparer("message_type.xml")),
              attendu("Messages",
                      {"Code=\"1\" Libelle=\"Information\" Externe=\"1\"", "Code=\"3\" Libelle=\"Urgent\""}, true));
    EXPECT_EQ(lire(preparer("message.xml")),
              attendu("Messages",
                      {"Numero=\"1\" Type=\"1\" Titre=\"Tarifs &amp; d\xE9lais\" "
                       "Texte=\"Les tarifs changent.&#13;&#10;Merci.\" DateDebut=\"25/03/2013\" Externe=\"1\"",
                       "Numero=\"3\" Type=\"1\" Titre=\"Sans marque\" DateFin=\"30/04/2013\""},
                      true));
    // The bar spans both tables: 3 types, then 3 + 10 records.
    EXPECT_EQ(progression.maximums, (std::vector<int>{0, 3, 13}));
    EXPECT_EQ(progression.position, 13);
    // Events run after each record, and again while a file is synced to disk.
    EXPECT_FALSE(tables.tblMessageType.isOpen());
    EXPECT_FALSE(tables.tblMessage.isOpen());
}

TEST_F(Export, EmptyTypeTableWithoutExterneStillGivesItsFile)
{
    ecrireTable(dossier + QStringLiteral("MessageType.DB"),
                {{QStringLiteral("Code"), TypeChamp::Short, 0}}, {});
    siege::ecrireMessages(dossier, {});
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    generer(Genre::Messages, tables, siege::contexte(progression));
    EXPECT_EQ(lire(preparer("message_type.xml")), attendu("Messages", {}, true));
    EXPECT_EQ(lire(preparer("message.xml")), attendu("Messages", {}, true));
    EXPECT_EQ(progression.maximums, (std::vector<int>{0, 0, 0}));

    // ... but a record without it cannot be tested.
    ecrireTable(dossier + QStringLiteral("MessageType.DB"), {{QStringLiteral("Code"), TypeChamp::Short, 0}},
                {{1}});
    EXPECT_THROW(generer(Genre::Messages, tables, siege::contexte(progression)), HalvenorError);
}

TEST_F(Export, FailureInSecondPassLeavesNewTypeFileBesideOldMainFile)
{
    siege::ecrireMessageTypes(dossier, {{1, QStringLiteral("Information"), 0}});
    ASSERT_TRUE(ecrireFichier(preparer("message_type.xml"), "ancien type"));
    ASSERT_TRUE(ecrireFichier(preparer("message.xml"), "ancien message"));

    std::vector<QString> ordre;
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    EXPECT_THROW(generer(Genre::Messages, tables, siege::contexte(progression), [&ordre](const QString &c) { ordre.push_back(c); }),
                 HalvenorError); // Message.DB missing
    EXPECT_EQ(lire(preparer("message_type.xml")),
              attendu("Messages", {"Code=\"1\" Libelle=\"Information\" Externe=\"1\""}, true));
    EXPECT_EQ(lire(preparer("message.xml")), "ancien message");
    EXPECT_EQ(ordre, std::vector<QString>{preparer("message_type.xml")});
}

TEST_F(Export, DocumentsUseTheirOwnRootAndFiles)
{
    siege::ecrireMesDocsTypes(dossier, {{1, QStringLiteral("Catalogue"), 0}, {2, QStringLiteral("Notice"), 3}});
    siege::ecrireMesDocs(dossier, {{1, 1, QStringLiteral("Catalogue 2013"), QStringLiteral("docs\\catalogue.pdf"),
                                    QStringLiteral("Complet\r\n\u00c9dition de printemps"),
                                    QDateTime(QDate(2013, 3, 25), QTime(6, 30)), 0},
                                   {2, 2, QStringLiteral("Notice"), {}, {}, {}, 1},
                                   {3, 1, {}, {}, {}, QDateTime(QDate(2013, 2, 1), QTime(0, 0)), QVariant()}});
    ASSERT_TRUE(ecrireFichier(preparer("message.xml"), "autre genre"));
    TablesHalvenor tables(temp.path());
    ProgressionEnregistree progression;
    EXPECT_EQ(generer(Genre::Documents, tables, siege::contexte(progression)),
              (QStringList{preparer("mes_docs_type.xml"), preparer("mes_docs.xml")}));
    EXPECT_EQ(lire(preparer("mes_docs_type.xml")),
              attendu("Documents", {"Code=\"1\" Libelle=\"Catalogue\" Externe=\"1\""}, true));
    EXPECT_EQ(lire(preparer("mes_docs.xml")),
              attendu("Documents",
                      {"Numero=\"1\" Type=\"1\" Titre=\"Catalogue 2013\" Fichier=\"docs\\catalogue.pdf\" "
                       "Description=\"Complet&#13;&#10;\xC9" "dition de printemps\" Modification=\"25/03/2013 06:30:00\" "
                       "Externe=\"1\"",
                       "Numero=\"3\" Type=\"1\" Modification=\"01/02/2013\""},
                      true));
    EXPECT_EQ(progression.maximums, (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(progression.position, 5);
    EXPECT_EQ(lire(preparer("message.xml")), "autre genre");

    // A failure in the first pass leaves both files as they were.
    QFile::remove(dossier + QStringLiteral("MesDocsType.DB"));
    ASSERT_TRUE(ecrireFichier(preparer("mes_docs.xml"), "ancien"));
    const QByteArray typeAvant = lire(preparer("mes_docs_type.xml"));
    EXPECT_THROW(generer(Genre::Documents, tables, siege::contexte(progression)), HalvenorError);
    EXPECT_EQ(lire(preparer("mes_docs_type.xml")), typeAvant);
    EXPECT_EQ(lire(preparer("mes_docs.xml")), "ancien");
}

} // namespace

// ---------------------------------------------------------------- tables on disk as they are

// Truncates a table's file when the walk reaches a record: a share that drops, a copy
// that replaces the file in place.
class ProgressionQuiTronque : public ProgressionMuette
{
public:
    ProgressionQuiTronque(QString chemin, int apres) : m_chemin(std::move(chemin)), m_apres(apres) {}
    void avancer() override
    {
        ProgressionMuette::avancer();
        if (position() == m_apres)
            QFile::resize(m_chemin, 4096);
    }

private:
    QString m_chemin;
    int m_apres;
};

QList<siege::Remise> remises(int n, const QString &libelle)
{
    QList<siege::Remise> r;
    for (int i = 0; i < n; ++i)
        r.append({QStringLiteral("AB"), {}, 2, QStringLiteral("01"), {}, 1.0 * i, {}, libelle, {}});
    return r;
}

TEST_F(Export, EachGenerationReadsTheTableAsItIsOnDiskThen)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    siege::ecrireRemises(dossier, remises(2, QStringLiteral("Avant")));
    TablesHalvenor tables(temp.path());
    ProgressionMuette muette;
    generer(Genre::Remise, tables, siege::contexte(muette));
    ASSERT_TRUE(lire(preparer("remise_achat.xml")).contains("Libelle=\"Avant\""));

    // Replaced between two clicks: the next one reads the new file.
    siege::ecrireRemises(dossier, remises(3, QStringLiteral("Apr\u00e8s")));
    generer(Genre::Remise, tables, siege::contexte(muette));
    const QByteArray apres = lire(preparer("remise_achat.xml"));
    EXPECT_EQ(apres.count("Libelle=\"Apr\xE8s\""), 3);
    EXPECT_FALSE(apres.contains("Avant"));

    // Truncated while it is read (far beyond the first blocks read), at every read: a French
    // error naming the file, the previous export left whole, the table closed; once the
    // table is written again, the next click reads it.
    const QString remisesDb = dossier + QStringLiteral("REMISES.DB");
    siege::ecrireRemises(dossier, remises(20000, QStringLiteral("Grande table")));
    ASSERT_GT(QFileInfo(remisesDb).size(), 1 << 20);
    ProgressionQuiTronque tronque(remisesDb, 10);
    try {
        generer(Genre::Remise, tables, siege::contexte(tronque));
        ADD_FAILURE() << "a truncated table was read to its end";
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("REMISES.DB"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("a été modifiée pendant la lecture"))) << e.message().toStdString();
    }
    EXPECT_LT(tronque.position(), 20000);
    EXPECT_EQ(lire(preparer("remise_achat.xml")), apres);
    EXPECT_FALSE(tables.tblRemise.isOpen());
    EXPECT_EQ(QDir(chemins().RepertoirePreparer).entryList(QDir::Files), QStringList{QStringLiteral("remise_achat.xml")})
        << "no temporary file left behind";

    siege::ecrireRemises(dossier, remises(4, QStringLiteral("R\u00e9par\u00e9e")));
    generer(Genre::Remise, tables, siege::contexte(muette));
    EXPECT_EQ(lire(preparer("remise_achat.xml")).count("Libelle=\"R\xE9par\xE9" "e\""), 4);
}

// Asks to stop once the walk reaches a record, as the window's "Annuler" does from another thread.
class ProgressionQuiAnnule : public ProgressionMuette
{
public:
    ProgressionQuiAnnule(Annulation &annulation, int apres) : m_annulation(annulation), m_apres(apres) {}
    void avancer() override
    {
        ProgressionMuette::avancer();
        if (position() == m_apres)
            m_annulation.annuler();
    }

private:
    Annulation &m_annulation;
    int m_apres;
};

// Cancelled during the walk: it stops within a block of records, writes nothing, leaves the
// previous file whole and no temporary file; for two passes, the first file written stays.
TEST_F(Export, CancelledGenerationKeepsThePreviousFile)
{
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    siege::ecrireRemises(dossier, remises(10000, QStringLiteral("Grande table")));
    ASSERT_TRUE(ecrireFichier(preparer("remise_achat.xml"), "ancien fichier"));
    TablesHalvenor tables(temp.path());
    {
        Annulation annulation;
        ProgressionQuiAnnule progression(annulation, 100);
        QStringList ecrits{QStringLiteral("rien")};
        EXPECT_NO_THROW(ecrits = generer(Genre::Remise, tables, siege::contexte(progression, &annulation)));
        EXPECT_TRUE(ecrits.isEmpty());
        EXPECT_LE(progression.position(), 100 + 1024) << "stopped within a block";
        EXPECT_EQ(lire(preparer("remise_achat.xml")), "ancien fichier");
        EXPECT_EQ(QDir(chemins().RepertoirePreparer).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("remise_achat.xml")});
        EXPECT_FALSE(tables.tblRemise.isOpen());
    }

    QList<siege::Message> messages;
    for (int i = 0; i < 3000; ++i)
        messages.append({i, 1, QStringLiteral("Message %1").arg(i), QString(), QDate(2026, 1, 1), QDate(), 0});
    siege::ecrireMessageTypes(dossier, {{1, QStringLiteral("Information"), 0}});
    siege::ecrireMessages(dossier, messages);
    ASSERT_TRUE(ecrireFichier(preparer("message.xml"), "ancien message"));
    Annulation annulation;
    ProgressionQuiAnnule progression(annulation, 10); // in the second pass: the type table has one record
    const QStringList ecrits = generer(Genre::Messages, tables, siege::contexte(progression, &annulation));
    EXPECT_EQ(ecrits, QStringList{preparer("message_type.xml")});
    EXPECT_EQ(lire(preparer("message.xml")), "ancien message");
}

// The file written as it is read holds the bytes of the tree, whatever the field kind, the
// table's code page and the characters: a memo in windows-1251 keeps what windows-1252 also
// has and gives "?" for the rest.
TEST_F(Export, LinesWrittenAsTheyAreReadEqualTheTree)
{
    const QList<Colonne> colonnes{{QStringLiteral("Texte"), TypeChamp::Alpha, 60},
                                  {QStringLiteral("Court"), TypeChamp::Short},
                                  {QStringLiteral("Long"), TypeChamp::Long},
                                  {QStringLiteral("Nombre"), TypeChamp::Number},
                                  {QStringLiteral("Monnaie"), TypeChamp::Currency},
                                  {QStringLiteral("Vrai"), TypeChamp::Logical},
                                  {QStringLiteral("Jour"), TypeChamp::Date},
                                  {QStringLiteral("Heure"), TypeChamp::Time},
                                  {QStringLiteral("Moment"), TypeChamp::Timestamp},
                                  {QStringLiteral("Decimal"), TypeChamp::Bcd, 2},
                                  {QStringLiteral("Octets"), TypeChamp::Bytes, 4},
                                  {QStringLiteral("Binaire"), TypeChamp::Blob, 11},
                                  {QStringLiteral("Externe"), TypeChamp::Short},
                                  {QStringLiteral("Note"), TypeChamp::Memo, 20}};
    QString tous;
    for (int c = 1; c < 256; ++c)
        tous += QChar(c);
    const QList<QList<QVariant>> lignes{
        QList<QVariant>{tous.left(60), -32767, -70000, 1234.5, 0.1, true, QDate(2013, 3, 1), QTime(23, 59, 58),
         QDateTime(QDate(2013, 3, 2), QTime(14, 5, 9)), QStringLiteral("-12.50"), QByteArray("<\x01\x81\xff", 4),
         QByteArray("\"&\r\n\x90\x9d", 6), 0,
         QString(QStringLiteral("\u041c\u0435\u0431\u0435\u043b\u044c \u00ab\u0414\u0443\u0431\u00bb \u2014 5 \u20ac, ") + tous)},
        QList<QVariant>{tous.mid(60, 60), 0, 5, -1e-7, 1e20, false, QDate(1, 1, 1), QTime(0, 0),
         QDateTime(QDate(1999, 12, 31), QTime(0, 0)), QStringLiteral("0.05"), QVariant(), QVariant(), 1,
         tous.mid(120)},
        QList<QVariant>(14)};
    for (const int page : {1252, 1251, 437}) {
        paradox::test::OptionsTable options;
        options.codePage = page;
        ecrireTable(dossier + QStringLiteral("T.DB"), colonnes, lignes, options);
        auto table = paradox::Table::depuisChemin(dossier + QStringLiteral("T.DB"));
        table->open();
        for (const bool avecValeur : {false, true}) {
            TNativeXMLDocument doc(QStringLiteral("R"));
            const QString chemin = preparer("flux.xml");
            {
                EcritureXml sortie(chemin, QStringLiteral("R"));
                LignesXml flux = avecValeur ? LignesXml(*table, QStringLiteral("Externe"), QStringLiteral("1"))
                                            : LignesXml(*table);
                for (table->first(); !table->eof(); table->next()) {
                    if (avecValeur)
                        EcrireLigneAvecValeur(*table, doc.Root().AddChild(QStringLiteral("Ligne")),
                                              QStringLiteral("Externe"), QStringLiteral("1"));
                    else
                        EcrireLigne(*table, doc.Root().AddChild(QStringLiteral("Ligne")));
                    flux.ecrire(sortie);
                }
                sortie.terminer();
            }
            EXPECT_EQ(lire(chemin), doc.toBytes()) << "code page " << page;
            if (page == 1251) {
                EXPECT_TRUE(lire(chemin).contains("Note=\"?????? \xAB???\xBB \x97 5 \x80, ")) << lire(chemin).constData();
            }
        }
    }
}
