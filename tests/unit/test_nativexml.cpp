#include "OutilsTests.h"

#include "core/base/Erreurs.h"
#include "core/xml/NativeXml.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>


namespace {

const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";

class NativeXml : public ::testing::Test
{
protected:
    QTemporaryDir dossier;

    QString chemin(const char *nom) const { return dossier.filePath(QString::fromUtf8(nom)); }

    QString ecrire(const char *nom, const QByteArray &octets) const
    {
        EXPECT_TRUE(ecrireFichier(chemin(nom), octets));
        return chemin(nom);
    }

    static QByteArray lire(const QString &chemin)
    {
        EXPECT_TRUE(QFile::exists(chemin));
        return lireFichier(chemin);
    }
};

// ---- Building and saving

TEST_F(NativeXml, NewDocumentSavesDeclarationAndEmptyRoot)
{
    TNativeXMLDocument doc(QStringLiteral("Personnalisations"));
    EXPECT_EQ(doc.Root().name(), u"Personnalisations");
    EXPECT_FALSE(doc.DocumentNode().isNull());
    doc.SaveToFile(chemin("p.xml"));
    const QByteArray octets = lire(chemin("p.xml"));
    EXPECT_EQ(octets.trimmed(), declaration + "\n<Personnalisations/>");
    EXPECT_EQ(octets, doc.toBytes());
}

TEST_F(NativeXml, ChildrenAttributesAndNoIndentation)
{
    TNativeXMLDocument doc(QStringLiteral("RemisesAchat"));
    TNativeXMLNode version = doc.Root().AddChild(QStringLiteral("Version"));
    version.SetAttribute(QStringLiteral("Numero"), QStringLiteral("1.0"));
    version.SetAttribute(QStringLiteral("Date"), QStringLiteral("20130325063000"));
    TNativeXMLNode lignes = doc.Root().ChildByName(QStringLiteral("Lignes"));
    const TNativeXMLNode l1 = lignes.AddChild(QStringLiteral("Ligne"));
    const TNativeXMLNode l2 = lignes.AddChild(QStringLiteral("Ligne"));
    l1.SetAttributeInt(QStringLiteral("Code"), -3);
    l1.SetAttributeInt(QStringLiteral("Code"), 2147483647); // replaced, not duplicated
    l2.SetAttribute(QStringLiteral("Vide"), QString());
    EXPECT_EQ(QString::fromLatin1(doc.toBytes()),
              QString::fromLatin1(declaration
                                  + "\n<RemisesAchat><Version Numero=\"1.0\" Date=\"20130325063000\"/>"
                                    "<Lignes><Ligne Code=\"2147483647\"/><Ligne Vide=\"\"/></Lignes></RemisesAchat>\n"));
    // ChildByName finds the existing element rather than adding one.
    EXPECT_EQ(doc.Root().ChildByName(QStringLiteral("Lignes")).node(), lignes.node());
}

TEST_F(NativeXml, LookupsAndDefaults)
{
    TNativeXMLDocument doc(QStringLiteral("Messages"));
    const TNativeXMLNode racine = doc.Root();
    const TNativeXMLNode m1 = racine.AddChild(QStringLiteral("Message"));
    racine.AddChild(QStringLiteral("Autre"));
    const TNativeXMLNode m2 = racine.AddChild(QStringLiteral("Message"));
    m1.SetAttribute(QStringLiteral("Vide"), QString());
    m1.SetAttribute(QStringLiteral("Lettres"), QStringLiteral("abc"));
    m1.SetAttributeInt(QStringLiteral("Zero"), 0);
    m1.SetAttributeInt(QStringLiteral("Negatif"), -3);
    m1.SetAttribute(QStringLiteral("Trop"), QStringLiteral("2147483648"));
    m1.SetAttribute(QStringLiteral("Blanc"), QStringLiteral(" 5"));

    EXPECT_EQ(m1.GetAttribute(QStringLiteral("Absent"), QStringLiteral("def")), u"def");
    EXPECT_EQ(m1.GetAttribute(QStringLiteral("Vide"), QStringLiteral("def")), QString());
    EXPECT_FALSE(m1.GetAttribute(QStringLiteral("Vide"), QStringLiteral("def")).isNull());
    EXPECT_EQ(m1.GetAttribute(QStringLiteral("lettres"), QStringLiteral("def")), u"def"); // case-sensitive
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Absent"), 7), 7);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Lettres"), 7), 7);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Zero"), 7), 0);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Negatif"), 7), -3);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Trop"), 7), 7);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Blanc"), 7), 7);
    EXPECT_EQ(m1.GetAttributeInt(QStringLiteral("Vide"), 7), 7);

    EXPECT_EQ(racine.FindChild(QStringLiteral("Message")).node(), m1.node());
    EXPECT_TRUE(racine.FindChild(QStringLiteral("message")).isNull());
    EXPECT_TRUE(racine.FindChild(QStringLiteral("Absent")).isNull());

    TNativeXMLNodeList liste;
    racine.ChildrenByName(QStringLiteral("Message"), liste);
    ASSERT_EQ(liste.Count(), 2);
    EXPECT_EQ(liste.Get(0).node(), m1.node());
    EXPECT_EQ(liste.Get(1).node(), m2.node());
    EXPECT_TRUE(liste.Get(2).isNull());
    EXPECT_TRUE(liste.Get(-1).isNull());
    racine.ChildrenByName(QStringLiteral("message"), liste);
    EXPECT_EQ(liste.Count(), 2);
    racine.ChildrenByName(QStringLiteral("Message"), liste); // appends, does not clear
    EXPECT_EQ(liste.Count(), 4);
    liste.Add(TNativeXMLNode());
    EXPECT_EQ(liste.Count(), 4);
}

TEST_F(NativeXml, NoHandleGivesNoHandleOrDefault)
{
    const TNativeXMLNode rien;
    EXPECT_TRUE(rien.AddChild(QStringLiteral("A")).isNull());
    EXPECT_TRUE(rien.FindChild(QStringLiteral("A")).isNull());
    EXPECT_TRUE(rien.ChildByName(QStringLiteral("A")).isNull());
    EXPECT_TRUE(rien.FindChild(QStringLiteral("A")).FindChild(QStringLiteral("B")).isNull());
    rien.SetAttribute(QStringLiteral("A"), QStringLiteral("x"));
    rien.SetAttributeInt(QStringLiteral("A"), 1);
    EXPECT_EQ(rien.GetAttribute(QStringLiteral("A"), QStringLiteral("d")), u"d");
    EXPECT_EQ(rien.GetAttributeInt(QStringLiteral("A"), 9), 9);
    EXPECT_EQ(rien.GetValue(), QString());
    EXPECT_EQ(rien.name(), QString());
    TNativeXMLNodeList liste;
    rien.ChildrenByName(QStringLiteral("A"), liste);
    EXPECT_EQ(liste.Count(), 0);
}

TEST_F(NativeXml, NamesThatWouldBreakTheFileAreRefused)
{
    TNativeXMLDocument doc(QStringLiteral("R"));
    EXPECT_THROW(doc.Root().SetAttribute(QStringLiteral("Code Fourn"), QStringLiteral("x")), HalvenorError);
    EXPECT_THROW(doc.Root().AddChild(QStringLiteral("1abc")), HalvenorError);
    EXPECT_THROW(doc.Root().AddChild(QString()), HalvenorError);
    // A second top-level element would make the file malformed.
    EXPECT_THROW(doc.DocumentNode().AddChild(QStringLiteral("Autre")), HalvenorError);
    EXPECT_THROW(TNativeXMLDocument(QStringLiteral("a b")), HalvenorError);
    // Accented names are fine.
    doc.Root().SetAttribute(QStringLiteral("Libellé"), QStringLiteral("x"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("Libellé"), QString()), u"x");
}

// ---- Text round trips and the windows-1252 bytes

TEST_F(NativeXml, ReservedCharactersLineBreaksAndTabsSurviveSaveAndLoad)
{
    const QString reserves = QStringLiteral("<>&\"' &amp; ]]>");
    const QString sauts = QStringLiteral("ligne 1\r\nligne 2\nfin\tcolonne\r");
    const QString texte = QStringLiteral("€ œ Œ é ß ÿ … ™");
    {
        TNativeXMLDocument doc(QStringLiteral("R"));
        const TNativeXMLNode l = doc.Root().AddChild(QStringLiteral("Ligne"));
        l.SetAttribute(QStringLiteral("Reserves"), reserves);
        l.SetAttribute(QStringLiteral("Sauts"), sauts);
        l.SetAttribute(QStringLiteral("Texte"), texte);
        l.SetAttribute(QStringLiteral("Nœud€"), QStringLiteral("nom"));
        doc.SaveToFile(chemin("r.xml"));
    }
    const QByteArray octets = lire(chemin("r.xml"));
    EXPECT_TRUE(octets.startsWith(QByteArray(declaration + '\n')));
    EXPECT_TRUE(octets.contains("&lt;&gt;&amp;&quot;' &amp;amp;"));
    EXPECT_TRUE(octets.contains("ligne 1&#13;&#10;ligne 2&#10;fin&#9;colonne&#13;"));
    // windows-1252 bytes, not UTF-8 and not character references.
    EXPECT_TRUE(octets.contains("\x80 \x9C \x8C \xE9 \xDF \xFF \x85 \x99"));
    EXPECT_TRUE(octets.contains("N\x9C" "ud\x80=\"nom\""));

    TNativeXMLDocument relu(QStringLiteral("R"));
    relu.LoadFromFile(chemin("r.xml"));
    const TNativeXMLNode l = relu.Root().FindChild(QStringLiteral("Ligne"));
    ASSERT_FALSE(l.isNull());
    EXPECT_EQ(l.GetAttribute(QStringLiteral("Reserves"), QString()), reserves);
    EXPECT_EQ(l.GetAttribute(QStringLiteral("Sauts"), QString()), sauts);
    EXPECT_EQ(l.GetAttribute(QStringLiteral("Texte"), QString()), texte);
    EXPECT_EQ(l.GetAttribute(QStringLiteral("Nœud€"), QString()), u"nom");
}

TEST_F(NativeXml, CharactersOutsideTheCodePageOrForbiddenByXmlBecomeQuestionMarks)
{
    TNativeXMLDocument doc(QStringLiteral("R"));
    const TNativeXMLNode r = doc.Root();
    r.SetAttribute(QStringLiteral("Grec"), QStringLiteral("αβ→"));
    r.SetAttribute(QStringLiteral("Emoji"), QString::fromUtf8("a\xF0\x9F\x98\x80z")); // one character, one "?"
    r.SetAttribute(QStringLiteral("Controle"), QString::fromUtf8("a\x01" "b\x1F" "c\x0B" "d"));
    r.SetAttribute(QStringLiteral("C1"), QString(QChar(0x81)) + QChar(0x9D));
    r.SetAttribute(QStringLiteral("Gardes"), QStringLiteral("\t\x7F"));
    EXPECT_EQ(r.GetAttribute(QStringLiteral("Grec"), QString()), u"???");
    EXPECT_EQ(r.GetAttribute(QStringLiteral("Emoji"), QString()), u"a?z");
    EXPECT_EQ(r.GetAttribute(QStringLiteral("Controle"), QString()), u"a?b?c?d");
    EXPECT_EQ(r.GetAttribute(QStringLiteral("C1"), QString()), u"??");
    // A name that only becomes valid text through "?" is still not a name.
    EXPECT_THROW(r.SetAttribute(QStringLiteral("a→b"), QString()), HalvenorError);

    doc.SaveToFile(chemin("q.xml"));
    TNativeXMLDocument relu(QStringLiteral("R"));
    relu.LoadFromFile(chemin("q.xml")); // well-formed despite the input
    EXPECT_EQ(relu.Root().GetAttribute(QStringLiteral("Controle"), QString()), u"a?b?c?d");
    EXPECT_EQ(relu.Root().GetAttribute(QStringLiteral("Gardes"), QString()), QStringLiteral("\t\x7F"));
}

// ---- Loading

TEST_F(NativeXml, LoadResolvesRootOrFallsBackToTheDocumentNode)
{
    TNativeXMLDocument doc(QStringLiteral("Rapport"));
    doc.LoadFromFile(ecrire("a.xml", "<?xml version=\"1.0\"?><!-- avant --><Rapport><Etat>OK</Etat></Rapport>"));
    EXPECT_EQ(doc.Root().name(), u"Rapport");
    EXPECT_EQ(doc.Root().FindChild(QStringLiteral("Etat")).GetValue(), u"OK");

    // Loaded again into the same document: another top element.
    doc.LoadFromFile(ecrire("b.xml", "<MajAuto><Etat>Erreur</Etat></MajAuto>"));
    EXPECT_EQ(doc.Root().node(), doc.DocumentNode().node());
    const TNativeXMLNode haut = doc.Root().FindChild(QStringLiteral("MajAuto"));
    ASSERT_FALSE(haut.isNull());
    EXPECT_EQ(haut.FindChild(QStringLiteral("Etat")).GetValue(), u"Erreur");
    EXPECT_TRUE(doc.Root().FindChild(QStringLiteral("Rapport")).isNull());
}

TEST_F(NativeXml, GetValueOfTextCdataAndMixedContent)
{
    TNativeXMLDocument doc(QStringLiteral("R"));
    doc.LoadFromFile(ecrire("v.xml", "<R><T>a &amp; b</T><C><![CDATA[<x>]]></C><V/><M>un<i>deux</i>trois</M></R>"));
    EXPECT_EQ(doc.Root().FindChild(QStringLiteral("T")).GetValue(), u"a & b");
    EXPECT_EQ(doc.Root().FindChild(QStringLiteral("C")).GetValue(), u"<x>");
    EXPECT_EQ(doc.Root().FindChild(QStringLiteral("V")).GetValue(), QString());
    EXPECT_EQ(doc.Root().FindChild(QStringLiteral("M")).GetValue(), u"undeuxtrois");
}

TEST_F(NativeXml, LoadsWhateverEncodingTheFileDeclares)
{
    TNativeXMLDocument doc(QStringLiteral("R"));
    doc.LoadFromFile(ecrire("u.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><R a=\"\xE2\x82\xAC\xC5\x93\xC3\xA9\"/>"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("a"), QString()), u"€œé");
    doc.LoadFromFile(ecrire("l.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R a=\"\xE9\xE8\xA4\"/>"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("a"), QString()), u"éè¤");
    doc.LoadFromFile(ecrire("w.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><R a=\"\x80\x9C\"/>"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("a"), QString()), u"€œ");
    // The five bytes windows-1252 leaves unassigned read as the C1 controls of the same code,
    // as in the INI file, rather than making the whole file unreadable.
    doc.LoadFromMemory("<?xml version='1.0' encoding='CP1252'?><R a=\"\x81\x8D\x8F\x90\x9D\x80\"/>",
                       QStringLiteral("c1.xml"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("a"), QString()), u"\u0081\u008D\u008F\u0090\u009D€");
    doc.LoadFromFile(ecrire("w.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><R a=\"\x80\x9C\"/>"));
    // Whatever came in, a save writes windows-1252.
    EXPECT_TRUE(doc.toBytes().startsWith(declaration));
    EXPECT_TRUE(doc.toBytes().contains("a=\"\x80\x9C\""));
}

TEST_F(NativeXml, UnreadableOrMalformedFilesThrowNamingTheFile)
{
    TNativeXMLDocument doc(QStringLiteral("R"));
    for (const QString &f : {chemin("absent.xml"), ecrire("m.xml", "<R><a></R>"), ecrire("vide.xml", ""),
                             ecrire("utf8.xml", "<R a=\"\xE9\"/>")}) {
        try {
            doc.LoadFromFile(f);
            ADD_FAILURE() << qPrintable(f);
        } catch (const HalvenorError &e) {
            EXPECT_TRUE(e.message().contains(f)) << qPrintable(e.message());
        }
    }
    // The document is still usable after a failed load.
    EXPECT_EQ(doc.Root().name(), u"R");
}

TEST_F(NativeXml, ExternalEntitiesAreNeverResolved)
{
    // A listening socket that must never see a connection.
    const Piege piege;
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(piege.port());
    const QByteArray secret = "<secret>contenu local</secret>";
    const QString local = ecrire("secret.xml", secret);
    const QByteArray fichierLocal = QUrl::fromLocalFile(local).toEncoded();

    const QByteArray hostile = "<?xml version=\"1.0\"?>\n"
                               "<!DOCTYPE R SYSTEM \"" + url + "/dtd\" [\n"
                               "<!ENTITY fichier SYSTEM \"" + fichierLocal + "\">\n"
                               "<!ENTITY passwd SYSTEM \"file:///etc/passwd\">\n"
                               "<!ENTITY reseau SYSTEM \"" + url + "/entite\">\n"
                               "<!ENTITY % param SYSTEM \"" + url + "/param\">\n"
                               "%param;\n"
                               "]>\n"
                               "<R><A>&fichier;</A><B>&passwd;</B><C>&reseau;</C></R>";
    TNativeXMLDocument doc(QStringLiteral("R"));
    try {
        doc.LoadFromFile(ecrire("h.xml", hostile));
        const TNativeXMLNode r = doc.Root();
        for (const char *nom : {"A", "B", "C"}) {
            const QString valeur = r.FindChild(QString::fromLatin1(nom)).GetValue();
            EXPECT_FALSE(valeur.contains(u"contenu local")) << nom;
            EXPECT_FALSE(valeur.contains(u"root:")) << nom;
        }
        EXPECT_FALSE(doc.toBytes().contains("contenu local"));
        EXPECT_FALSE(doc.toBytes().contains("root:"));
    } catch (const HalvenorError &) {
        // Refusing the file outright is just as safe.
    }
    EXPECT_FALSE(piege.connexionRecue(200));
}

TEST_F(NativeXml, EntityExpansionBombIsRefusedOrContained)
{
    QByteArray bombe = "<?xml version=\"1.0\"?>\n<!DOCTYPE R [\n<!ENTITY l0 \"rire rire rire rire rire\">\n";
    for (int i = 1; i <= 10; ++i) {
        bombe += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int j = 0; j < 10; ++j)
            bombe += "&l" + QByteArray::number(i - 1) + ";";
        bombe += "\">\n";
    }
    bombe += "]>\n<R a=\"&l10;\"><T>&l10;</T></R>";

    TNativeXMLDocument doc(QStringLiteral("R"));
    QElapsedTimer chrono;
    chrono.start();
    try {
        doc.LoadFromFile(ecrire("bombe.xml", bombe));
        EXPECT_LT(doc.Root().GetAttribute(QStringLiteral("a"), QString()).size(), 10'000'000);
        EXPECT_LT(doc.Root().FindChild(QStringLiteral("T")).GetValue().size(), 10'000'000);
    } catch (const HalvenorError &) {
        // Refused: what libxml2's amplification limit does.
    }
    EXPECT_LT(chrono.elapsed(), 10'000);
}

TEST_F(NativeXml, DeclaredEntitiesAreRefusedWhileParsing)
{
    // One entity referenced thousands of times: kept as references, each read expanded them
    // all again (minutes for a 100 KB report).
    QByteArray xml = "<?xml version=\"1.0\"?><!DOCTYPE R [<!ENTITY e \"" + QByteArray(500, 'x') + "\">]><R a=\"";
    for (int i = 0; i < 20'000; ++i)
        xml += "&e;";
    xml += "\"/>";
    TNativeXMLDocument doc(QStringLiteral("R"));
    for (const QByteArray &refuse : {xml, QByteArray("<!DOCTYPE R [<!ENTITY % p \"x\">]><R/>"),
                                     QByteArray("<!DOCTYPE R [<!ENTITY n SYSTEM \"x\" NDATA g>]><R/>")}) {
        try {
            doc.LoadFromMemory(refuse, QStringLiteral("e.xml"));
            ADD_FAILURE() << refuse.left(60).constData();
        } catch (const HalvenorError &e) {
            EXPECT_TRUE(e.message().contains(u"e.xml")) << qPrintable(e.message());
        }
    }
    // A DTD without entities, the predefined entities and character references still read.
    doc.LoadFromMemory("<!DOCTYPE R [<!ELEMENT R ANY>]><R a=\"&amp;&lt;&#233;&#x20AC;\"/>", QStringLiteral("d.xml"));
    EXPECT_EQ(doc.Root().GetAttribute(QStringLiteral("a"), QString()), u"&<é€");
}

// ---- Saving safely

TEST_F(NativeXml, FailedSaveLeavesThePreviousFileWhole)
{
    const QString fichier = ecrire("ancien.xml", "<Ancien/>");
    TNativeXMLDocument doc(QStringLiteral("R"));
    const TNativeXMLNode lignes = doc.Root().AddChild(QStringLiteral("Lignes"));
    for (int i = 0; i < 5000; ++i)
        lignes.AddChild(QStringLiteral("Ligne")).SetAttributeInt(QStringLiteral("Numero"), i);
    {
        const LimiteTaille limite(4096);
        EXPECT_THROW(doc.SaveToFile(fichier), HalvenorError);
    }
    EXPECT_EQ(lire(fichier), "<Ancien/>");
    EXPECT_EQ(QDir(dossier.path()).entryList(QDir::Files), QStringList{QStringLiteral("ancien.xml")});

    try {
        doc.SaveToFile(dossier.filePath(QStringLiteral("absent/x.xml")));
        ADD_FAILURE();
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().contains(u"absent/x.xml"));
    }

    doc.SaveToFile(fichier);
    EXPECT_EQ(lire(fichier), doc.toBytes());
}

TEST_F(NativeXml, LargeDocumentBuildsAndSavesQuickly)
{
    TNativeXMLDocument doc(QStringLiteral("RemisesAchat"));
    const TNativeXMLNode lignes = doc.Root().AddChild(QStringLiteral("Lignes"));
    const QStringList noms = {QStringLiteral("Code"), QStringLiteral("Fournisseur"), QStringLiteral("Libellé"),
                              QStringLiteral("Remise"), QStringLiteral("Date")};
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < 50'000; ++i) {
        const TNativeXMLNode l = lignes.AddChild(QStringLiteral("Ligne"));
        l.SetAttributeInt(noms[0], i);
        for (int j = 1; j < noms.size(); ++j)
            l.SetAttribute(noms[j], QStringLiteral("valeur é€ ") + QString::number(i));
    }
    doc.SaveToFile(chemin("gros.xml"));
    EXPECT_LT(chrono.elapsed(), 20'000); // loose enough for sanitizer builds; a quadratic child walk blows it

    TNativeXMLDocument relu(QStringLiteral("RemisesAchat"));
    relu.LoadFromFile(chemin("gros.xml"));
    TNativeXMLNodeList liste;
    relu.Root().FindChild(QStringLiteral("Lignes")).ChildrenByName(QStringLiteral("Ligne"), liste);
    ASSERT_EQ(liste.Count(), 50'000);
    EXPECT_EQ(liste.Get(49'999).GetAttributeInt(QStringLiteral("Code"), -1), 49'999);
    EXPECT_EQ(liste.Get(7).GetAttribute(QStringLiteral("Libellé"), QString()), u"valeur é€ 7");
}

} // namespace
