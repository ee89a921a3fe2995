#include "Cibles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using Cible = int (*)(const uint8_t *, size_t);

// Every seed and every kept finding of one target, through the target's own body: a finding
// that comes back aborts this test.
int rejouer(const char *nom, Cible cible)
{
    int fichiers = 0;
    for (const char *dossier : {"corpus", "regressions"}) {
        const QDir d(QStringLiteral(HALVENOR_FUZZ_DIR "/%1/%2").arg(QLatin1String(dossier), QLatin1String(nom)));
        for (const QString &f : d.entryList(QDir::Files)) {
            QFile fichier(d.filePath(f));
            EXPECT_TRUE(fichier.open(QIODevice::ReadOnly)) << qPrintable(f);
            const QByteArray octets = fichier.readAll();
            cible(reinterpret_cast<const uint8_t *>(octets.constData()), size_t(octets.size()));
            ++fichiers;
        }
    }
    return fichiers;
}

TEST(RejeuFuzz, CorpusEtTrouvaillesDeChaqueCible)
{
    EXPECT_GT(rejouer("fuzz_paradox", fuzzParadox), 0);
    EXPECT_GT(rejouer("fuzz_ini", fuzzIni), 0);
    EXPECT_GT(rejouer("fuzz_rapport", fuzzRapport), 0);
    EXPECT_GT(rejouer("fuzz_listeftp", fuzzListeFtp), 0);
    EXPECT_GT(rejouer("fuzz_xml", fuzzXml), 0);
}

} // namespace
