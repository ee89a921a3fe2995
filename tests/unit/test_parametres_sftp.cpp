// The SFTP keys of the account sections: read with their defaults, written only where used.
#include "OutilsTests.h"

#include "core/config/Parametres.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ParametresSftp, KeysReadWithTheirDefaultsAndWrittenOnlyWhereUsed)
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("Halvenor.ini"));
    const QByteArray ftp("[Halvenor_FTP]\r\nLogin=siege\r\nMdp=x\r\nHost=h\r\nPort=21\r\nTLS=1\r\n"
                         "[Halvenor_Rapport]\r\nProtocole=sftp\r\nHost=r\r\nEmpreinteSSH= SHA256:abc \r\nCleSSH=cles/id\r\n");
    ASSERT_TRUE(ecrireFichier(chemin, ftp));
    Parametres p = Parametres::lire(chemin);
    EXPECT_FALSE(p.publication.sftp());
    EXPECT_TRUE(p.rapport.sftp());
    EXPECT_EQ(p.rapport.Port, 22) << "SFTP's own port when none is given";
    EXPECT_EQ(p.rapport.empreinteSsh, QStringLiteral("SHA256:abc"));
    EXPECT_EQ(p.rapport.cleSsh, QStringLiteral("cles/id"));

    // An FTP account saved as it was read keeps the file's bytes: no new key appears.
    p.enregistrer(chemin, Parametres::Publication);
    EXPECT_EQ(lireFichier(chemin), ftp);

    // Switched to SFTP and back: the key stays, saying FTP; CleSSH is the file's alone.
    p.publication.protocole = CompteFtp::Protocole::SFTP;
    p.publication.empreinteSsh = QStringLiteral("SHA256:def");
    p.rapport.protocole = CompteFtp::Protocole::FTP;
    p.rapport.empreinteSsh.clear();
    p.rapport.cleSsh = QStringLiteral("ailleurs");
    p.enregistrer(chemin, Parametres::Publication | Parametres::Rapport);
    const Parametres relu = Parametres::lire(chemin);
    EXPECT_TRUE(relu.publication.sftp());
    EXPECT_EQ(relu.publication.empreinteSsh, QStringLiteral("SHA256:def"));
    EXPECT_FALSE(relu.rapport.sftp());
    EXPECT_TRUE(relu.rapport.empreinteSsh.isEmpty());
    EXPECT_EQ(relu.rapport.cleSsh, QStringLiteral("cles/id"));
    EXPECT_TRUE(lireFichier(chemin).contains("Protocole=FTP\r\n"));
}
