// halvenor-cli generer, run as a separate process against a temporary program directory.

#include "TablesSiege.h"

#include "core/config/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Resultat
{
    int code = -1;
    QString sortie;
    QString erreurs;
};

class GenererCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        programme = temp.path() + u'/';
        siege::ecrireExemple(siege::dossierTables(programme));
    }

    Resultat lancer(const QStringList &args)
    {
        QProcess p;
        p.setProgram(QStringLiteral(HALVENOR_CLI));
        p.setArguments(QStringList{QStringLiteral("--repertoire"), programme, QStringLiteral("generer")} + args);
        p.start();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    void activer(const char *cle)
    {
        IniFile(programme + QStringLiteral("Halvenor.ini"))
            .writeBool(QStringLiteral("Halvenor"), QString::fromLatin1(cle), true);
    }

    QString preparer(const char *f) const { return programme + QStringLiteral("preparer/") + QString::fromLatin1(f); }

    QTemporaryDir temp;
    QString programme;
};

TEST_F(GenererCli, ToutRunsTheEnabledKindsInRowOrderAndPrintsEachFile)
{
    activer("Message");
    activer("Remise_Achat");
    IniFile(programme + QStringLiteral("Halvenor.ini"))
        .writeString(QStringLiteral("Halvenor_FNS_Exclu"), QStringLiteral("Fournisseur0"), QStringLiteral("GH"));
    ASSERT_FALSE(QDir(programme + QStringLiteral("preparer")).exists());

    const Resultat r = lancer({QStringLiteral("tout")});
    ASSERT_EQ(r.code, 0) << r.erreurs.toStdString();
    EXPECT_EQ(r.sortie, preparer("remise_achat.xml") + u'\n' + preparer("message_type.xml") + u'\n'
                            + preparer("message.xml") + u'\n');
    EXPECT_TRUE(r.erreurs.isEmpty()) << "no progress bar when stderr is not a terminal";
    EXPECT_FALSE(QFile::exists(preparer("personnalisation.xml")));

    QFile f(preparer("remise_achat.xml"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray remises = f.readAll();
    // Of the sample's six conditions: AB without client and EF; GH is excluded, ZZ unknown.
    EXPECT_EQ(remises.count("<Ligne "), 2);
    EXPECT_TRUE(remises.contains("Fournisseur=\"EF\" Type=\"2\" Famille=\"03\""));
    EXPECT_FALSE(remises.contains("\"GH\""));
}

TEST_F(GenererCli, RefusesDisabledKindsAndReportsFailures)
{
    activer("Remise_Achat");
    Resultat r = lancer({QStringLiteral("remise"), QStringLiteral("personnalisation")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.erreurs.contains(QStringLiteral("Personnalisation"))) << r.erreurs.toStdString();
    EXPECT_TRUE(r.sortie.isEmpty()) << "nothing generated once a kind is refused";

    r = lancer({QStringLiteral("remises")});
    EXPECT_EQ(r.code, 2) << "unknown kind is a usage error";

    QFile::remove(siege::dossierTables(programme) + QStringLiteral("REMISES.DB"));
    r = lancer({QStringLiteral("remise")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.erreurs.contains(QStringLiteral("REMISES.DB"))) << r.erreurs.toStdString();
    EXPECT_TRUE(r.sortie.isEmpty());
}

} // namespace
