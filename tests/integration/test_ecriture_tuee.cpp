#include "FtpServeur.h"
#include "OutilsTests.h"
#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/base/Horloge.h"
#include "core/export/Generateurs.h"
#include "core/config/IniFile.h"
#include "core/publish/Envoi.h"
#include "core/reports/RapportMajAuto.h"
#include "core/reports/RecuperationRapports.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// Every file Halvenor writes, written over and over by a child process that is killed with
// SIGKILL at random moments: after each kill the file is one whole version, never a mixture or
// a truncation. HALVENOR_TUERIES sets the kills per kind (200 for the full run; fewer by default).

namespace {

int tueries()
{
    const QByteArray n = qgetenv("HALVENOR_TUERIES");
    return n.isEmpty() ? 100 : n.toInt();
}

// Large enough that a write takes a while, and every version differs from the others everywhere.
QByteArray contenuVersion(char lettre, int octets)
{
    QByteArray v(octets, lettre);
    for (int i = 0; i < octets; i += 80)
        v[i] = '\n';
    return v;
}

QStringList restes(const QString &dossier, const QString &garde)
{
    QStringList r = QDir(dossier).entryList(QDir::Files | QDir::Hidden | QDir::System);
    r.removeAll(garde);
    return r;
}

class EcritureTuee : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_programme = m_tmp.filePath(QStringLiteral("programme/"));
        QDir().mkpath(m_programme + QStringLiteral("preparer"));
        definirChemins(Chemins::depuisRepertoire(m_programme));
    }

    // `ecrire(n)` writes version n % 2 into `cible`; `versions` are what the file may hold.
    void tuer(const QString &cible, const QList<QByteArray> &versions, const std::function<void(int)> &ecrire)
    {
        std::mt19937 alea(20130325);
        std::uniform_int_distribution<int> delai(0, 25'000);
        int auMilieu = 0;
        for (int i = 0; i < tueries(); ++i) {
            const pid_t enfant = ::fork();
            ASSERT_GE(enfant, 0);
            if (enfant == 0) {
                try {
                    for (int n = 0;; ++n)
                        ecrire(n);
                } catch (...) {
                }
                ::_exit(3);
            }
            ::usleep(static_cast<useconds_t>(delai(alea)));
            ::kill(enfant, SIGKILL);
            int etat = 0;
            ::waitpid(enfant, &etat, 0);
            ASSERT_TRUE(WIFSIGNALED(etat)) << "the writer stopped by itself: " << WEXITSTATUS(etat);
            const QByteArray lu = lireFichier(cible);
            ASSERT_TRUE(versions.contains(lu)) << "kill " << i << ": " << lu.size() << " bytes";
            const QStringList r = restes(QFileInfo(cible).path(), QFileInfo(cible).fileName());
            if (!r.isEmpty() && auMilieu++ == 0)
                std::printf("left by a kill: %s\n", qPrintable(r.join(u' ')));
        }
        // A next write replaces the file whatever a kill left beside it.
        ecrire(0);
        EXPECT_EQ(lireFichier(cible), versions.front());
        std::printf("%s: %d kills, %d left a temporary file\n", qPrintable(QFileInfo(cible).fileName()),
                    tueries(), auMilieu);
    }

    QTemporaryDir m_tmp;
    QString m_programme;
};

TEST_F(EcritureTuee, ExportCopieParCheminEtCsvHistorique)
{
    // An export, by its generator, from two versions of the table.
    HorlogeFixe horloge(QDateTime(QDate(2013, 3, 25), QTime(6, 30)));
    definirHorloge(&horloge);
    std::array<std::unique_ptr<TablesHalvenor>, 2> tables;
    QList<QByteArray> xml;
    const QString exportXml = chemins().RepertoirePreparer + QStringLiteral("personnalisation.xml");
    ProgressionMuette progression;
    for (int v = 0; v < 2; ++v) {
        const QString source = m_tmp.filePath(QStringLiteral("siege%1/").arg(v));
        QList<QList<QVariant>> lignes;
        for (int i = 0; i < 5'000; ++i)
            lignes.append({i, QStringLiteral("01"), QStringLiteral("A1"), QStringLiteral("AB"), QStringLiteral("P1"),
                           QString(40, QLatin1Char(char('a' + v))), QVariant(), QVariant(), QVariant(), QVariant(), 0});
        siege::ecrirePerso(siege::dossierTables(source), lignes);
        tables[size_t(v)] = std::make_unique<TablesHalvenor>(source);
        generer(Genre::Personnalisation, *tables[size_t(v)], siege::contexte(progression));
        xml << lireFichier(exportXml);
    }
    xml.swapItemsAt(0, 1); // the file holds the second one now
    tuer(exportXml, xml, [&](int n) { generer(Genre::Personnalisation, *tables[size_t(1 - n % 2)], siege::contexte(progression)); });
    definirHorloge(nullptr);

    // A copy into the publishing directory.
    const QString publication = m_tmp.filePath(QStringLiteral("publication/"));
    QDir().mkpath(publication);
    const QList<QByteArray> sources{contenuVersion('a', 1 << 20), contenuVersion('b', 1 << 20)};
    const QStringList chemins{m_tmp.filePath(QStringLiteral("a.xml")), m_tmp.filePath(QStringLiteral("b.xml"))};
    ASSERT_TRUE(ecrireFichier(chemins[0], sources[0]) && ecrireFichier(chemins[1], sources[1]));
    MessagesEnregistres messages;
    ASSERT_TRUE(CopieParChemin(chemins[0], publication + QStringLiteral("mes_docs.xml"), messages));
    tuer(publication + QStringLiteral("mes_docs.xml"), sources, [&](int n) {
        if (!CopieParChemin(chemins[n % 2], publication + QStringLiteral("mes_docs.xml"), messages))
            throw std::runtime_error("copie");
    });

    // The history CSV.
    QList<QByteArray> csv;
    for (char c : {'x', 'y'})
        csv << CsvHistorique(QList<LigneCsv>(20'000, LigneCsv{QStringLiteral("25/03/2013"), QString(40, QLatin1Char(c))}));
    QDir().mkpath(m_tmp.filePath(QStringLiteral("export")));
    const QString fichierCsv = m_tmp.filePath(QStringLiteral("export/historique.csv"));
    EcrireFichier(fichierCsv, csv[0]);
    tuer(fichierCsv, csv, [&](int n) { EcrireFichier(fichierCsv, csv[n % 2]); });
}

TEST_F(EcritureTuee, HalvenorIni)
{
    IniFile ini(chemins().FichierIni);
    ini.writeString(QStringLiteral("Halvenor"), QStringLiteral("TypeEnvoi"), QStringLiteral("FTP"));
    const QStringList valeurs{QString(500'000, u'1'), QString(300'000, u'2')};
    QList<QByteArray> versions;
    for (const QString &v : valeurs) {
        ini.writeString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Mdp"), v);
        versions << lireFichier(chemins().FichierIni);
    }
    versions.swapItemsAt(0, 1); // the file holds the second one now
    tuer(chemins().FichierIni, versions, [&](int n) {
        ini.writeString(QStringLiteral("Halvenor_FTP"), QStringLiteral("Mdp"), valeurs[1 - n % 2]);
    });
}

TEST_F(EcritureTuee, RapportTelecharge)
{
    // Two accounts whose /Rapport/0042.xml differ: the child downloads one, then the other.
    QList<FtpServeur::Compte> comptes;
    QList<QByteArray> versions;
    for (char c : {'a', 'b'}) {
        const QString maison = m_tmp.filePath(QStringLiteral("ftp_%1/").arg(QLatin1Char(c)));
        versions << contenuVersion(c, 2 << 20);
        ASSERT_TRUE(ecrireFichier(maison + QStringLiteral("Rapport/0042.xml"), versions.back()));
        comptes.push_back({QString(QLatin1Char(c)), QStringLiteral("secret"), maison, QStringLiteral("elr")});
    }
    const FtpServeur serveur(comptes);
    PreparerRepertoireRapport(chemins());
    const QString local = chemins().RepertoireRapport + QStringLiteral("0042.xml");
    MessagesEnregistres messages;
    const auto telecharger = [&](std::array<std::unique_ptr<SessionRapport>, 2> &sessions, int n) {
        auto &s = sessions[size_t(n % 2)];
        if (!s) {
            CompteRapport compte;
            compte.Host = QStringLiteral("127.0.0.1");
            compte.Login = comptes[n % 2].nom;
            compte.Mdp = QStringLiteral("secret");
            compte.Port = serveur.port();
            s = std::make_unique<SessionRapport>(compte, chemins(), messages);
            if (!s->ConnexionFTPRapport())
                throw std::runtime_error("connexion");
        }
        const QList<FtpEntree> liste = s->ListerRapports();
        s->TelechargerRapport(liste.value(0));
    };
    {
        std::array<std::unique_ptr<SessionRapport>, 2> sessions;
        telecharger(sessions, 0);
    }
    tuer(local, versions, [&](int n) {
        // One pair of sessions per child process: none crosses a fork.
        static std::array<std::unique_ptr<SessionRapport>, 2> sessions;
        telecharger(sessions, n);
    });
    // Whatever the kills left in the report folders, the next run's preparation removes it.
    PreparerRepertoireRapport(chemins());
    EXPECT_TRUE(restes(chemins().RepertoireRapport, {}).isEmpty());
    EXPECT_TRUE(restes(chemins().RepertoireHistorique, {}).isEmpty());
}

} // namespace
