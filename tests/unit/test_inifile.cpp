#include "OutilsTests.h"

#include "core/base/Erreurs.h"
#include "core/config/IniFile.h"
#include "core/config/Parametres.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Ini : public ::testing::Test
{
protected:
    QTemporaryDir dossier;
    QString chemin = dossier.filePath(QStringLiteral("Halvenor.ini"));
    IniFile ini{chemin};

    void ecrire(const QByteArray &octets) const { ASSERT_TRUE(ecrireFichier(chemin, octets)); }

    QByteArray contenu() const
    {
        EXPECT_TRUE(QFile::exists(chemin));
        return lireFichier(chemin);
    }
};

const QByteArray exemple = "; Réglages du siège\r\n"
                           "[Halvenor]\r\n"
                           "Remise_Achat=1\r\n"
                           "Message=0\r\n"
                           "TypeEnvoi=URI\r\n"
                           "Inconnue=garde moi\r\n"
                           "\r\n"
                           "[Halvenor_FTP]\r\n"
                           "Host=ftp.exemple.fr\r\n"
                           "Port=abc\r\n"
                           "Mdp=a=b;c \r\n"
                           "\r\n"
                           "[Halvenor_FNS_Exclu]\r\n"
                           "Fournisseur1=ZZ\r\n"
                           "; commentaire\r\n"
                           "Autre=AB\r\n"
                           "Fournisseur0=CD\r\n";

// ---- Reading

TEST_F(Ini, MissingFileSectionOrKeyReadsAsDefault)
{
    EXPECT_FALSE(ini.existe());
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor"), QStringLiteral("TypeEnvoi"), QStringLiteral("FTP")), u"FTP");
    EXPECT_EQ(ini.readInteger(QStringLiteral("Halvenor_Rapport"), QStringLiteral("Port"), 21), 21);
    EXPECT_TRUE(ini.readBool(QStringLiteral("Halvenor"), QStringLiteral("Message"), true));
    EXPECT_FALSE(ini.sectionExists(QStringLiteral("Halvenor")));
    EXPECT_TRUE(ini.readSectionValues(QStringLiteral("Halvenor")).isEmpty());
    ini.eraseSection(QStringLiteral("Halvenor"));
    EXPECT_FALSE(ini.existe()); // reading and erasing nothing creates nothing

    ecrire(exemple);
    EXPECT_TRUE(ini.existe());
    EXPECT_EQ(ini.readString(QStringLiteral("Absente"), QStringLiteral("Host"), QStringLiteral("d")), u"d");
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor"), QStringLiteral("Absente"), QStringLiteral("d")), u"d");
    // A key of another section does not leak into this one.
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor"), QStringLiteral("Host"), QStringLiteral("d")), u"d");
}

TEST_F(Ini, NamesMatchWithoutCaseAndValuesComeBackAsStored)
{
    ecrire(exemple);
    EXPECT_EQ(ini.readString(QStringLiteral("HALVENOR"), QStringLiteral("typeenvoi"), QString()), u"URI");
    EXPECT_EQ(ini.readString(QStringLiteral("halvenor_ftp"), QStringLiteral("HOST"), QString()), u"ftp.exemple.fr");
    // Everything after the first "=", blanks included.
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Mdp"), QString()), u"a=b;c ");
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor"), QStringLiteral("; Réglages du siège"), QStringLiteral("d")),
              u"d");
}

TEST_F(Ini, IntegersAndBooleansThatAreNotIntegersReadAsDefault)
{
    ecrire("[S]\r\nPort=abc\r\nVide=\r\nN=-12\r\nP=+7\r\nEspace= 2121 \r\nTrop=99999999999\r\nHex=0x10\r\n"
           "B=true\r\nB0=0\r\nB2=2\r\nBm=-1\r\nDec=1.5\r\n");
    const QString s = QStringLiteral("S");
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Port"), 21), 21);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Vide"), 21), 21);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("N"), 21), -12);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("P"), 21), 7);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Espace"), 21), 2121);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Trop"), 21), 21);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Hex"), 21), 21);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Dec"), 21), 21);
    // "true" is not an integer: the default, whichever it is.
    EXPECT_FALSE(ini.readBool(s, QStringLiteral("B"), false));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("B"), true));
    EXPECT_FALSE(ini.readBool(s, QStringLiteral("B0"), true));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("B2"), false));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("Bm"), false));
}

TEST_F(Ini, SectionsAndTheirEntriesInFileOrder)
{
    ecrire("[Vide]\r\n; rien\r\n\r\n[Halvenor_FNS_Exclu]\r\nFournisseur1=ZZ\r\n; commentaire\r\nAutre=AB\r\n"
           "Fournisseur0=CD\r\n[Suite]\r\nX=1\r\n");
    EXPECT_FALSE(ini.sectionExists(QStringLiteral("Vide")));
    EXPECT_TRUE(ini.sectionExists(QStringLiteral("halvenor_fns_exclu")));
    EXPECT_EQ(ini.readSectionValues(QStringLiteral("HALVENOR_FNS_EXCLU")),
              (QStringList{QStringLiteral("Fournisseur1=ZZ"), QStringLiteral("Autre=AB"),
                           QStringLiteral("Fournisseur0=CD")}));
    EXPECT_EQ(ini.readSectionValues(QStringLiteral("Suite")), QStringList{QStringLiteral("X=1")});

    // A key written twice reads as its first value; every entry is listed.
    ecrire("[A]\r\nk=1\r\nK=2\r\n");
    EXPECT_EQ(ini.readInteger(QStringLiteral("A"), QStringLiteral("k"), 0), 1);
    EXPECT_EQ(ini.readSectionValues(QStringLiteral("A")).size(), 2);
}

TEST_F(Ini, UnixLineEndsAndMissingFinalLineEndAreRead)
{
    ecrire("[A]\nx=1\ny=deux");
    EXPECT_EQ(ini.readString(QStringLiteral("A"), QStringLiteral("y"), QString()), u"deux");
    ini.writeString(QStringLiteral("A"), QStringLiteral("z"), QStringLiteral("3"));
    EXPECT_EQ(contenu(), "[A]\nx=1\ny=deux\nz=3\n");
}

TEST_F(Ini, HandEditedFileSavedAsUtf8WithByteOrderMark)
{
    ecrire("\xEF\xBB\xBF[Halvenor_Rapport]\r\nHost=h\xC3\xB4te\r\n");
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor_Rapport"), QStringLiteral("Host"), QString()), u"hôte");
    ini.writeInteger(QStringLiteral("Halvenor_Rapport"), QStringLiteral("Port"), 2121);
    EXPECT_EQ(contenu(), "[Halvenor_Rapport]\r\nHost=h\xF4te\r\nPort=2121\r\n");

    // Twice, over bytes that are not UTF-8: the first section is still read, and a rewrite
    // loses nothing the next read would see.
    ecrire("\xEF\xBB\xBF\xEF\xBB\xBF[Halvenor_Rapport]\r\nHost=h\xF4te\r\n");
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor_Rapport"), QStringLiteral("Host"), QString()), u"hôte");
    ini.writeInteger(QStringLiteral("Halvenor_Rapport"), QStringLiteral("Port"), 2121);
    EXPECT_EQ(contenu(), "[Halvenor_Rapport]\r\nHost=h\xF4te\r\nPort=2121\r\n");
}

// ---- Writing

TEST_F(Ini, WritesCreateTheFileWithOwnerOnlyAccess)
{
    ini.writeString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Mdp"), QStringLiteral("secret"));
    EXPECT_EQ(QFileInfo(chemin).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                                 | QFile::WriteOther),
              QFileDevice::Permissions());
    EXPECT_TRUE(QFileInfo(chemin).permissions().testFlag(QFile::ReadOwner));
    ini.writeInteger(QStringLiteral("Halvenor_FTP"), QStringLiteral("Port"), -21);
    ini.writeBool(QStringLiteral("Halvenor"), QStringLiteral("Message"), true);
    ini.writeBool(QStringLiteral("Halvenor"), QStringLiteral("Document"), false);
    EXPECT_EQ(contenu(), "[Halvenor_FTP]\r\nMdp=secret\r\nPort=-21\r\n\r\n[Halvenor]\r\nMessage=1\r\nDocument=0\r\n");
    EXPECT_EQ(ini.readInteger(QStringLiteral("halvenor_ftp"), QStringLiteral("port"), 0), -21);
    EXPECT_TRUE(ini.readBool(QStringLiteral("Halvenor"), QStringLiteral("Message"), false));
    EXPECT_EQ(QFileInfo(chemin).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner)
        << "still 0600 after rewrites";

    // A rewrite keeps the mode the administrator gave the file.
    const auto groupe = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(chemin, groupe));
    ini.writeString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Mdp"), QStringLiteral("autre"));
    EXPECT_EQ(QFileInfo(chemin).permissions() & 0x7077, groupe);
}

TEST_F(Ini, RewriteChangesOneEntryAndKeepsEverythingElse)
{
    ecrire(exemple);
    // Replaced in place; the key keeps its stored spelling.
    ini.writeString(QStringLiteral("halvenor"), QStringLiteral("TYPEENVOI"), QStringLiteral("FTP"));
    // New key: after the section's last entry, before the blank line.
    ini.writeString(QStringLiteral("Halvenor"), QStringLiteral("Document"), QStringLiteral("1"));
    QByteArray attendu = exemple;
    attendu.replace("TypeEnvoi=URI", "TypeEnvoi=FTP");
    attendu.replace("Inconnue=garde moi\r\n", "Inconnue=garde moi\r\nDocument=1\r\n");
    EXPECT_EQ(contenu(), attendu);

    ini.eraseSection(QStringLiteral("HALVENOR_ftp"));
    attendu.replace("[Halvenor_FTP]\r\nHost=ftp.exemple.fr\r\nPort=abc\r\nMdp=a=b;c \r\n\r\n", "");
    EXPECT_EQ(contenu(), attendu);
    EXPECT_EQ(ini.readString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Host"), QStringLiteral("d")), u"d");

    ini.eraseSection(QStringLiteral("Halvenor_FNS_Exclu"));
    EXPECT_FALSE(ini.sectionExists(QStringLiteral("Halvenor_FNS_Exclu")));
    EXPECT_FALSE(contenu().contains("Fournisseur"));
    EXPECT_TRUE(contenu().startsWith("; Réglages du siège\r\n[Halvenor]\r\n"));

    // The rewrite went through a temporary file: nothing else is left in the folder.
    EXPECT_EQ(QDir(dossier.path()).entryList(QDir::Files), QStringList{QStringLiteral("Halvenor.ini")});
}

TEST_F(Ini, LineBreaksAreRefusedAndTheFileLeftAsItWas)
{
    ecrire(exemple);
    const QString s = QStringLiteral("Halvenor_FTP");
    EXPECT_THROW(ini.writeString(s, QStringLiteral("Mdp"), QStringLiteral("a\nHost=pirate")), HalvenorError);
    EXPECT_THROW(ini.writeString(s, QStringLiteral("Mdp"), QStringLiteral("a\rb")), HalvenorError);
    EXPECT_THROW(ini.writeString(s, QStringLiteral("M\ndp"), QStringLiteral("x")), HalvenorError);
    EXPECT_THROW(ini.writeString(QStringLiteral("A]\r\n[B"), QStringLiteral("k"), QStringLiteral("x")), HalvenorError);
    EXPECT_THROW(ini.writeString(s, QStringLiteral("a=b"), QStringLiteral("x")), HalvenorError);
    EXPECT_THROW(ini.writeString(s, QString(), QStringLiteral("x")), HalvenorError);
    EXPECT_EQ(contenu(), exemple);
    try {
        ini.writeString(s, QStringLiteral("Mdp"), QStringLiteral("a\nb"));
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().contains(u"saut de ligne")) << qPrintable(e.message());
    }
}

TEST_F(Ini, Windows1252RoundTrip)
{
    ini.writeString(QStringLiteral("Sécurité"), QStringLiteral("Clé"), QStringLiteral("é€œ"));
    ini.writeString(QStringLiteral("Sécurité"), QStringLiteral("Grec"), QStringLiteral("α→😀"));
    EXPECT_EQ(contenu(), "[S\xE9" "curit\xE9]\r\nCl\xE9=\xE9\x80\x9C\r\nGrec=???\r\n");
    EXPECT_EQ(ini.readString(QStringLiteral("SÉCURITÉ"), QStringLiteral("CLÉ"), QString()), u"é€œ");

    // A byte that windows-1252 leaves unassigned survives a rewrite of another entry.
    ecrire("[A]\r\nx=\x81\x8D\x8F\x90\x9D\r\n");
    ini.writeString(QStringLiteral("A"), QStringLiteral("y"), QStringLiteral("1"));
    EXPECT_EQ(contenu(), "[A]\r\nx=\x81\x8D\x8F\x90\x9D\r\ny=1\r\n");
}

TEST_F(Ini, RefusedWritesThrowNamingTheFile)
{
    IniFile ailleurs(dossier.filePath(QStringLiteral("absent/Halvenor.ini")));
    try {
        ailleurs.writeString(QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c"));
        ADD_FAILURE();
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().contains(u"absent/Halvenor.ini")) << qPrintable(e.message());
    }

    ecrire(exemple);
    {
        const LimiteTaille limite(64);
        try {
            ini.writeBool(QStringLiteral("Halvenor"), QStringLiteral("Message"), true);
            ADD_FAILURE();
        } catch (const HalvenorError &e) {
            EXPECT_TRUE(e.message().contains(chemin)) << qPrintable(e.message());
        }
    }
    EXPECT_EQ(contenu(), exemple);
    EXPECT_EQ(QDir(dossier.path()).entryList(QDir::Files), QStringList{QStringLiteral("Halvenor.ini")});
}

} // namespace

TEST_F(Ini, SettingsModelReadsEveryAccountKeyAndSavesOnlyWhatItOwns)
{
    const Parametres vide = Parametres::lire(chemin);
    EXPECT_FALSE(vide.existe);
    EXPECT_EQ(vide.rapport.Port, 21);
    EXPECT_FALSE(vide.rapport.tls);
    EXPECT_EQ(vide.halvenor.typeEnvoi, ModeEnvoi::FTP);
    EXPECT_EQ(vide.rapport.connexions, 4);

    // Connexions: 1 to 16, clamped; anything else than a number is the default.
    for (const auto &[valeur, attendu] : {std::pair{"8", 8}, {"0", 1}, {"99", 16}, {"beaucoup", 4}}) {
        ecrire(QByteArray("[Halvenor_FTP]\r\nConnexions=") + valeur + "\r\n[Halvenor_Rapport]\r\nConnexions=2\r\n");
        const Parametres c = Parametres::lire(chemin);
        EXPECT_EQ(c.publication.connexions, attendu) << valeur;
        EXPECT_EQ(c.rapport.connexions, 2);
    }

    ecrire("[Halvenor]\r\nTypeEnvoi=ftp\r\n[halvenor_rapport]\r\nTLS=1\r\nCertificatCA=/etc/ca.pem\r\nPort=990\r\n");
    Parametres p = Parametres::lire(chemin);
    EXPECT_TRUE(p.existe);
    EXPECT_FALSE(p.halvenor.typeEnvoi) << "only the exact word counts";
    EXPECT_TRUE(p.rapport.tls);
    EXPECT_EQ(p.rapport.certificatCA, QStringLiteral("/etc/ca.pem"));
    EXPECT_EQ(p.rapport.Port, 990);

    // An unreadable mode word stays as stored; TLS is written in its place, CertificatCA never.
    p.rapport.Login = QStringLiteral("maj");
    p.rapport.tls = false;
    p.enregistrer(chemin, Parametres::Halvenor | Parametres::Rapport);
    EXPECT_EQ(contenu(), QByteArray("[Halvenor]\r\nTypeEnvoi=ftp\r\nRemise_Achat=0\r\nPersonnalisation=0\r\nMessage=0\r\n"
                                    "Document=0\r\n[halvenor_rapport]\r\nTLS=0\r\nCertificatCA=/etc/ca.pem\r\nPort=990\r\n"
                                    "Login=maj\r\nMdp=\r\nHost=\r\n"));
}
