// halvenor-cli stopped by SIGINT or SIGTERM in the middle of its work: it ends within a second
// with 128 + the signal and "Interrompu.", leaving whole files only.
#include "FtpServeur.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

namespace {

class Interruption : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_programme = m_temp.filePath(QStringLiteral("programme"));
        ASSERT_TRUE(QDir().mkpath(m_programme));
    }

    void demarrer(const QStringList &args)
    {
        m_cli.start(QStringLiteral(HALVENOR_CLI), QStringList{QStringLiteral("--repertoire"), m_programme} + args);
        ASSERT_TRUE(m_cli.waitForStarted());
    }

    // Waits (at most 20 s) until `pret` holds while the command still runs.
    bool attendre(const std::function<bool()> &pret)
    {
        QElapsedTimer chrono;
        chrono.start();
        while (chrono.elapsed() < 20000) {
            if (pret())
                return true;
            if (m_cli.waitForFinished(2))
                return false;
        }
        return false;
    }

    // Sends the signal; the command's exit code, or -1 when it did not end within a second.
    int interrompre(int signal)
    {
        ::kill(static_cast<pid_t>(m_cli.processId()), signal);
        QElapsedTimer chrono;
        chrono.start();
        const bool fini = m_cli.waitForFinished(1000);
        m_duree = chrono.elapsed();
        if (!fini) {
            m_cli.kill();
            m_cli.waitForFinished();
            return -1;
        }
        return m_cli.exitStatus() == QProcess::NormalExit ? m_cli.exitCode() : -2;
    }

    // True when the command holds a file of `dossier` open (a temporary file has no name there).
    bool ouvertDans(const QString &dossier) const
    {
        const QString fd = QStringLiteral("/proc/%1/fd/").arg(m_cli.processId());
        for (const QString &n : QDir(fd).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
            char cible[4096];
            const ssize_t taille = ::readlink(QFile::encodeName(fd + n).constData(), cible, sizeof cible - 1);
            if (taille > 0 && QString::fromLocal8Bit(cible, taille).startsWith(dossier))
                return true;
        }
        return false;
    }

    static QStringList fichiers(const QString &dossier)
    {
        return QDir(dossier).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QTemporaryDir m_temp;
    QString m_programme;
    QProcess m_cli;
    qint64 m_duree = 0;
};

TEST_F(Interruption, GenererSousSigtermGardeLAncienFichier)
{
    const QString dossier = siege::dossierTables(m_programme);
    siege::ecrireFournis(dossier, {{QStringLiteral("AB"), QStringLiteral("Ateliers Besson")}});
    siege::ecrireRemisesNombreuses(dossier, 1'000'000);
    ASSERT_TRUE(ecrireFichier(m_programme + QStringLiteral("/Halvenor.ini"), "[Halvenor]\r\nRemise_Achat=1\r\n"));
    const QString preparer = m_programme + QStringLiteral("/preparer/");
    ASSERT_TRUE(QDir().mkpath(preparer));
    const QByteArray ancien = "<RemisesAchat/>\n";
    ASSERT_TRUE(ecrireFichier(preparer + QStringLiteral("remise_achat.xml"), ancien));

    demarrer({QStringLiteral("generer"), QStringLiteral("remise")});
    // The export is under way once its temporary file is open.
    ASSERT_TRUE(attendre([&] { return ouvertDans(preparer); }))
        << m_cli.exitCode() << m_cli.readAllStandardOutput().constData() << m_cli.readAllStandardError().constData();
    EXPECT_EQ(interrompre(SIGTERM), 143) << m_duree << " ms";
    EXPECT_EQ(m_cli.readAllStandardError(), QByteArray("Interrompu.\n"));
    EXPECT_TRUE(m_cli.readAllStandardOutput().isEmpty()) << "no file was written";
    EXPECT_EQ(fichiers(preparer), QStringList{QStringLiteral("remise_achat.xml")});
    EXPECT_EQ(lireFichier(preparer + QStringLiteral("remise_achat.xml")), ancien);
}

TEST_F(Interruption, RapportsSousSigintNeLaissentQueDesCopiesEntieres)
{
    const QString serveur = m_temp.filePath(QStringLiteral("ftp/"));
    ASSERT_TRUE(QDir().mkpath(serveur + QStringLiteral("Rapport/Historique")));
    for (int i = 0; i < 80; ++i)
        ASSERT_TRUE(ecrireFichier(serveur + QStringLiteral("Rapport/F%1.xml").arg(i, 3, 10, QLatin1Char('0')),
                                  "<MajAuto Date=\"25/03/2013\"/>"));
    FtpServeur::Options options;
    options.delaiReponse = 0.03;
    FtpServeur lent({FtpServeur::compteRapport(serveur)}, options);
    ASSERT_TRUE(ecrireFichier(m_programme + QStringLiteral("/Halvenor.ini"),
                              lent.sectionRapport()));
    const QString rapport = m_programme + QStringLiteral("/Rapport/");

    demarrer({QStringLiteral("rapports")});
    // Some reports are in, the others on their way.
    ASSERT_TRUE(attendre([&] { return fichiers(rapport).filter(QStringLiteral(".xml")).size() >= 3; }))
        << m_cli.readAllStandardError().constData();
    EXPECT_EQ(interrompre(SIGINT), 130) << m_duree << " ms";
    EXPECT_EQ(m_cli.readAllStandardError(), QByteArray("Interrompu.\n"));
    const QStringList copies = fichiers(rapport);
    EXPECT_LT(copies.size(), 80);
    for (const QString &nom : copies)
        EXPECT_TRUE(nom.startsWith(u'F') && nom.endsWith(QStringLiteral(".xml"))) << nom.toStdString();
}

} // namespace
