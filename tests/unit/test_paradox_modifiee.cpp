// Tables written while an export reads them: the export is read again and equals one whole
// version of the tables, or fails with the previous file kept; never a mix.
#include "OutilsTests.h"
#include "TablesSiege.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Horloge.h"
#include "core/config/IniFile.h"
#include "core/export/Generateurs.h"
#include "core/export/TablesHalvenor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Calls `pendantLecture` at record `rang` of every walk, and records the bar's extent.
class ProgressionEspion : public Progression
{
public:
    void definirPosition(int p) override
    {
        position = p;
        if (p == 0)
            ++lectures;
    }
    void definirMaximum(int m) override
    {
        maximum_ = m;
        plusGrandMaximum = std::max(plusGrandMaximum, m);
    }
    int maximum() const override { return maximum_; }
    void avancer() override
    {
        if (++position == rang && pendantLecture)
            pendantLecture(lectures);
    }

    std::function<void(int lecture)> pendantLecture;
    int rang = 100;
    int position = 0;
    int maximum_ = 0;
    int plusGrandMaximum = 0;
    int lectures = 0;
};

// Writes `octets` over the file in place, as the head office's application does.
void reecrire(const QString &chemin, const QByteArray &octets, int morceaux = 1, int pauseMs = 0)
{
    QFile f(chemin);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qsizetype pas = (octets.size() + morceaux - 1) / morceaux;
    // From the end, as the report of the issue had it.
    for (qsizetype fin = octets.size(); fin > 0; fin -= pas) {
        const qsizetype debut = std::max<qsizetype>(0, fin - pas);
        ASSERT_TRUE(f.seek(debut));
        ASSERT_EQ(f.write(octets.constData() + debut, fin - debut), fin - debut);
        f.flush();
        if (pauseMs)
            QThread::msleep(ulong(pauseMs));
    }
}

class TableModifiee : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        definirChemins(Chemins::depuisRepertoire(temp.path()));
        ASSERT_TRUE(QDir().mkpath(chemins().RepertoirePreparer));
        dossier = siege::dossierTables(temp.path());
        definirHorloge(&horloge);
        siege::ecrireFournis(dossier, siege::fournisseursNombreux(50));
        fournisA = lireFichier(dossier + QStringLiteral("FOURNIS.DB"));
        // Two versions of REMISES of the same size: each record's values change.
        for (int v = 0; v < 2; ++v) {
            QList<siege::Remise> remises;
            for (int i = 0; i < nombre; ++i)
                remises.append({siege::codeFournisseur((i / 7) % 50), {}, 2, QStringLiteral("%1").arg(i % 97, 2, 10, QChar(u'0')),
                                {}, double(i) + v * 0.5, {}, QStringLiteral("Version %1, ligne %2").arg(v).arg(i), {}});
            siege::ecrireRemises(dossier, remises);
            versions[v] = lireFichier(remisesDb());
        }
        for (int v = 0; v < 2; ++v) {
            ASSERT_TRUE(ecrireFichier(remisesDb(), versions[v]));
            TablesHalvenor tables(temp.path());
            ProgressionMuette p;
            generer(Genre::Remise, tables, siege::contexte(p));
            exports[v] = lireFichier(exportRemise());
        }
        ASSERT_NE(exports[0], exports[1]);
        ASSERT_TRUE(ecrireFichier(remisesDb(), versions[0]));
        ASSERT_TRUE(ecrireFichier(exportRemise(), "précédent"));
    }
    void TearDown() override { definirHorloge(nullptr); }

    QString remisesDb() const { return dossier + QStringLiteral("REMISES.DB"); }
    QString exportRemise() const { return chemins().RepertoirePreparer + QStringLiteral("remise_achat.xml"); }

    static constexpr int nombre = 3000;
    QTemporaryDir temp;
    QString dossier;
    HorlogeFixe horloge{QDateTime(QDate(2013, 3, 25), QTime(6, 30, 0))};
    QByteArray versions[2];
    QByteArray exports[2];
    QByteArray fournisA;
};

TEST_F(TableModifiee, UneEcritureEnCoursDeLectureFaitLireAgain)
{
    TablesHalvenor tables(temp.path());
    ProgressionEspion p;
    p.pendantLecture = [&](int lecture) {
        if (lecture == 1)
            reecrire(remisesDb(), versions[1]);
    };
    generer(Genre::Remise, tables, siege::contexte(p));
    EXPECT_EQ(p.lectures, 2);
    EXPECT_EQ(lireFichier(exportRemise()), exports[1]);
    EXPECT_EQ(p.plusGrandMaximum, nombre) << "a read again starts the bar again";
    EXPECT_EQ(p.position, nombre);

    // FOURNIS, read by the supplier check during the walk, is watched as well.
    ASSERT_TRUE(ecrireFichier(exportRemise(), "précédent"));
    siege::ecrireFournis(dossier, siege::fournisseursNombreux(10));
    const QByteArray fournisB = lireFichier(dossier + QStringLiteral("FOURNIS.DB"));
    ASSERT_TRUE(ecrireFichier(dossier + QStringLiteral("FOURNIS.DB"), fournisA));
    ProgressionEspion q;
    q.rang = nombre - 1; // the supplier list has been read by then
    q.pendantLecture = [&](int lecture) {
        if (lecture == 1)
            reecrire(dossier + QStringLiteral("FOURNIS.DB"), fournisB);
    };
    generer(Genre::Remise, tables, siege::contexte(q));
    EXPECT_EQ(q.lectures, 2);
    const QByteArray obtenu = lireFichier(exportRemise());
    EXPECT_LT(obtenu.size(), exports[1].size()) << "the second read knows only ten suppliers";
    const QByteArray vingtieme = "Fournisseur=\"" + siege::codeFournisseur(20).toLatin1() + "\"";
    EXPECT_TRUE(exports[1].contains(vingtieme));
    EXPECT_FALSE(obtenu.contains(vingtieme));
}

// A share whose server's clock runs ahead gives times in the future: still read.
TEST_F(TableModifiee, DatesDansLAvenirLueQuandMeme)
{
    QFile f(remisesDb());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    f.close();
    TablesHalvenor tables(temp.path());
    ProgressionEspion p;
    generer(Genre::Remise, tables, siege::contexte(p));
    EXPECT_EQ(p.lectures, 1);
    EXPECT_EQ(lireFichier(exportRemise()), exports[0]);
}

TEST_F(TableModifiee, ToujoursModifieeLaLectureEchoueEtLExportPrecedentReste)
{
    TablesHalvenor tables(temp.path());
    ProgressionEspion p;
    p.pendantLecture = [&](int lecture) { reecrire(remisesDb(), versions[lecture % 2]); };
    try {
        generer(Genre::Remise, tables, siege::contexte(p));
        ADD_FAILURE() << "no failure";
    } catch (const HalvenorError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("La table REMISES.DB a été modifiée pendant la lecture ; réessayez plus tard."));
    }
    EXPECT_EQ(p.lectures, 4) << "the first read and three more";
    EXPECT_EQ(p.plusGrandMaximum, nombre);
    EXPECT_EQ(lireFichier(exportRemise()), "précédent");
    EXPECT_EQ(QDir(chemins().RepertoirePreparer).entryList(QDir::Files), QStringList{QStringLiteral("remise_achat.xml")})
        << "no temporary file left";
}

// Another thread rewrites REMISES in place, by pieces: without a pause through the whole
// export in even runs, once at a different moment of it in odd runs.
TEST_F(TableModifiee, EcrivainConcurrentJamaisDExportMelange)
{
    int reussis = 0, refuses = 0;
    for (int essai = 0; essai < 6; ++essai) {
        ASSERT_TRUE(ecrireFichier(exportRemise(), "précédent"));
        std::atomic<bool> fini{false};
        std::atomic<bool> commence{false};
        std::thread ecrivain([&] {
            if (essai % 2) {
                QThread::msleep(ulong(essai));
                reecrire(remisesDb(), versions[1], 16, 1);
                return;
            }
            for (int n = 0; !fini; ++n) {
                reecrire(remisesDb(), versions[(n + 1) % 2], 64);
                commence = true;
            }
        });
        while (essai % 2 == 0 && !commence)
            QThread::yieldCurrentThread();
        TablesHalvenor tables(temp.path());
        ProgressionMuette p;
        try {
            generer(Genre::Remise, tables, siege::contexte(p));
            const QByteArray obtenu = lireFichier(exportRemise());
            EXPECT_TRUE(obtenu == exports[0] || obtenu == exports[1])
                << "run " << essai << ": " << obtenu.count("Version 0") << " lines of the first version, "
                << obtenu.count("Version 1") << " of the second";
            ++reussis;
        } catch (const HalvenorError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("a été modifiée pendant la lecture"))) << e.message().toStdString();
            EXPECT_EQ(lireFichier(exportRemise()), "précédent");
            ++refuses;
        }
        fini = true;
        ecrivain.join();
        ASSERT_TRUE(ecrireFichier(remisesDb(), versions[0]));
    }
    std::printf("concurrent writer: %d exports of one whole version, %d refused\n", reussis, refuses);
}

} // namespace
