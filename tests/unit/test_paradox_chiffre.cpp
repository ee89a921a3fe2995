// Protected tables written by pxlib, an implementation of the format independent of ours:
// read with a password of Alias.ini exactly as pxlib reads them, refused without one by
// the reader and by halvenor-cli, and no password ever shown.
#include "OutilsTests.h"
#include "TablesSiege.h"

#include "core/base/Erreurs.h"
#include "core/paradox/Chiffrement.h"
#include "core/paradox/Table.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {


quint32 le32(const QByteArray &o, int position)
{
    const auto *p = reinterpret_cast<const uchar *>(o.constData()) + position;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

class TableProtegee : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programme.isValid());
        ASSERT_TRUE(QDir().mkpath(dossier()));
    }
    QString dossier() const { return programme.path() + QStringLiteral("/ZentraveAdministration/"); }
    QString table(const char *nom) const { return dossier() + QString::fromLatin1(nom); }
    void alias(const QByteArray &cles)
    {
        ASSERT_TRUE(ecrireFichier(programme.path() + QStringLiteral("/Alias.ini"), "[ZentraveAdministration]\r\n" + cles));
    }
    void pxlib(const QStringList &args)
    {
        const SortieProgramme s = executer(QStringLiteral(PXLIB_TABLE), args);
        ASSERT_EQ(s.code, 0) << s.erreurs.toStdString();
    }
    QJsonObject pxlibLit(const QString &db)
    {
        const SortieProgramme s = executer(QStringLiteral(PXLIB_TABLE), {QStringLiteral("lire"), db});
        EXPECT_EQ(s.code, 0) << s.erreurs.toStdString();
        return QJsonDocument::fromJson(s.octets).object();
    }
    SortieProgramme cli(const QStringList &args)
    {
        return lancerCli(programme.path(), args);
    }
    QJsonObject halvenorLit(const QString &db)
    {
        const SortieProgramme s = cli({QStringLiteral("table"), db, QStringLiteral("--json")});
        EXPECT_EQ(s.code, 0) << s.erreurs.toStdString();
        return QJsonDocument::fromJson(s.octets).object();
    }

    QTemporaryDir programme;
};

TEST_F(TableProtegee, LueCommePxlibLaLitAvecLeMotDePasseQuiConvient)
{
    // 300 records over several blocks; memos null, in the record, sub-allocated and in
    // blocks of their own, some longer than a .MB block.
    pxlib({QStringLiteral("ecrire"), table("T.DB"), QString(), QStringLiteral("300")});
    const QJsonObject reference = pxlibLit(table("T.DB"));
    ASSERT_EQ(reference[u"records"].toArray().size(), 300);
    alias("MotDePasse=Autre\r\nMotDePasse3=Secret7\r\nMotDePasse2=Encore\r\n");
    EXPECT_EQ(halvenorLit(table("T.DB")), reference) << "an unprotected table ignores the passwords";

    pxlib({QStringLiteral("chiffrer"), table("T.DB"), QStringLiteral("Secret7")});
    const QByteArray db = lireFichier(table("T.DB"));
    // The format's header: the key moved to the second part, and the data no longer in clear.
    EXPECT_EQ(le32(db, 0x25), 0xFF00FF00u);
    EXPECT_EQ(le32(db, 0x5C), paradox::cleDeMotDePasse("Secret7"));
    EXPECT_FALSE(db.contains("garder"));
    EXPECT_FALSE(lireFichier(table("T.MB")).contains("abcdefghijklmnop"));
    EXPECT_EQ(halvenorLit(table("T.DB")), reference);

    // Protected by pxlib itself (its memos stay null: see the tool).
    pxlib({QStringLiteral("ecrire"), table("N.DB"), QStringLiteral("Encore"), QStringLiteral("300"),
           QStringLiteral("1")});
    const QJsonObject parPxlib = pxlibLit(table("N.DB"));
    ASSERT_EQ(parPxlib[u"records"].toArray().size(), 300);
    EXPECT_EQ(halvenorLit(table("N.DB")), parPxlib);

    // The key of a password, as pxlib computes it, for lengths 1 to 40.
    for (const char *mdp : {"a", "Zz", "mot de passe", "0123456789abcdefghijklmnopqrstuvwxyzABCD"}) {
        pxlib({QStringLiteral("ecrire"), table("K.DB"), QString(), QStringLiteral("1")});
        pxlib({QStringLiteral("chiffrer"), table("K.DB"), QString::fromLatin1(mdp)});
        EXPECT_EQ(le32(lireFichier(table("K.DB")), 0x5C), paradox::cleDeMotDePasse(mdp)) << mdp;
    }
}

TEST_F(TableProtegee, SansLeBonMotDePasseHalvenorCliRefuseSansMontrerDeMotDePasse)
{
    pxlib({QStringLiteral("ecrire"), table("T.DB"), QString(), QStringLiteral("20")});
    pxlib({QStringLiteral("chiffrer"), table("T.DB"), QStringLiteral("Secret7")});
    for (const QByteArray &cles : {QByteArray(), QByteArray("MotDePasse=Mauvais1\r\nMotDePasse2=secret7\r\n")}) {
        alias(cles);
        const SortieProgramme s = cli({QStringLiteral("table"), table("T.DB")});
        EXPECT_EQ(s.code, 1);
        EXPECT_EQ(s.erreurs.trimmed(), QStringLiteral("La table T.DB est protégée par un mot de passe : le mot de passe "
                                                  "(MotDePasse dans Alias.ini) est absent ou faux."));
        EXPECT_TRUE(s.octets.isEmpty());
    }

    // "Générer": the previous export stays until the password is given.
    siege::ecrireExemple(dossier());
    ASSERT_TRUE(ecrireFichier(programme.path() + QStringLiteral("/Halvenor.ini"), "[Halvenor]\r\nRemise_Achat=1\r\n"));
    pxlib({QStringLiteral("chiffrer"), table("REMISES.DB"), QStringLiteral("Secret7")});
    const QString exportRemise = programme.path() + QStringLiteral("/preparer/remise_achat.xml");
    ASSERT_TRUE(QDir().mkpath(programme.path() + QStringLiteral("/preparer")));
    ASSERT_TRUE(ecrireFichier(exportRemise, "précédent"));
    SortieProgramme s = cli({QStringLiteral("generer"), QStringLiteral("remise")});
    EXPECT_EQ(s.code, 1);
    EXPECT_TRUE(s.erreurs.contains(QStringLiteral("La table REMISES.DB est protégée par un mot de passe"))) << s.erreurs.toStdString();
    EXPECT_FALSE(s.erreurs.contains(QStringLiteral("Mauvais1")) || s.erreurs.contains(QStringLiteral("ecret7")));
    EXPECT_EQ(lireFichier(exportRemise), "précédent");

    alias("MotDePasse=Secret7\r\n");
    s = cli({QStringLiteral("generer"), QStringLiteral("remise")});
    EXPECT_EQ(s.code, 0) << s.erreurs.toStdString();
    EXPECT_TRUE(lireFichier(exportRemise).contains("Libelle=\"Remise de base\""));
}

TEST_F(TableProtegee, LaFenetreDemandeJusquAuBonMotDePasseOuAbandon)
{
    pxlib({QStringLiteral("ecrire"), table("T.DB"), QString(), QStringLiteral("5")});
    pxlib({QStringLiteral("chiffrer"), table("T.DB"), QStringLiteral("Secret7")});
    QStringList demandes;
    QStringList reponses{QStringLiteral("secret7"), QStringLiteral("Secret7")};
    auto t = paradox::Table::depuisChemin(table("T.DB"));
    t->definirMotsDePasse({QStringLiteral("Faux")}, [&](const QString &fichier, bool precedentFaux) {
        demandes << fichier + (precedentFaux ? QStringLiteral(" faux") : QString());
        return reponses.isEmpty() ? std::nullopt : std::optional<QString>(reponses.takeFirst());
    });
    t->open();
    EXPECT_EQ(demandes, (QStringList{QStringLiteral("T.DB"), QStringLiteral("T.DB faux")}));
    EXPECT_EQ(t->recordCount(), 5);
    EXPECT_EQ(t->fieldByName(QStringLiteral("Code")).asString(), QStringLiteral("C00000"));
    t->close();
    t->open(); // read again within the same action: not asked again
    EXPECT_EQ(demandes.size(), 2);

    auto abandon = paradox::Table::depuisChemin(table("T.DB"));
    abandon->definirMotsDePasse({}, [](const QString &, bool) { return std::optional<QString>(); });
    try {
        abandon->open();
        ADD_FAILURE() << "opened without a password";
    } catch (const HalvenorError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("La table T.DB est protégée par un mot de passe : lecture abandonnée."));
    }
    EXPECT_FALSE(abandon->isOpen());
}

// Reading again cannot help a table no password opened, nor a read that stopped early:
// neither is read again when the table changes meanwhile.
TEST_F(TableProtegee, NiMotDePasseRefuseNiLectureInterrompueNeSontRelus)
{
    // Another version of the table, of another length, written over it while the dialog is open.
    pxlib({QStringLiteral("ecrire"), table("autre.db"), QString(), QStringLiteral("300")});
    pxlib({QStringLiteral("chiffrer"), table("autre.db"), QStringLiteral("Secret7")});
    const QByteArray autre = lireFichier(table("autre.db"));
    pxlib({QStringLiteral("ecrire"), table("remises.db"), QString(), QStringLiteral("5")});
    pxlib({QStringLiteral("chiffrer"), table("remises.db"), QStringLiteral("Secret7")});
    alias("MotDePasse=Faux\r\n");

    paradox::Table t(programme.path(), QStringLiteral("REMISES.DB"));
    QStringList demandes;
    t.definirMotsDePasse({}, [&](const QString &nom, bool) {
        demandes << nom;
        EXPECT_TRUE(ecrireFichier(table("remises.db"), autre));
        return std::optional<QString>();
    });
    int lectures = 0;
    const auto lire = [&] {
        ++lectures;
        t.close();
        t.open();
        return true;
    };
    try {
        paradox::lireSansModification({&t}, lire);
        ADD_FAILURE() << "opened without a password";
    } catch (const HalvenorError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("La table REMISES.DB est protégée par un mot de passe : lecture abandonnée."));
    }
    EXPECT_EQ(demandes, QStringList{QStringLiteral("REMISES.DB")}) << "the declared name, asked once";
    EXPECT_EQ(lectures, 1);

    // halvenor-cli's case: no one to ask.
    t.definirMotsDePasse({}, {});
    lectures = 0;
    try {
        paradox::lireSansModification({&t}, [&] {
            lire();
            ADD_FAILURE() << "opened without a password";
            return true;
        });
    } catch (const HalvenorError &e) {
        EXPECT_TRUE(e.message().endsWith(QStringLiteral("(MotDePasse dans Alias.ini) est absent ou faux."))) << e.message().toStdString();
    }
    EXPECT_EQ(lectures, 1);

    // Stopped by a cancellation while the table was written: its result is dropped, not read again.
    alias("MotDePasse=Secret7\r\n");
    t.definirMotsDePasse({});
    lectures = 0;
    bool ouverte = false;
    paradox::lireSansModification({&t}, [&] {
        lire();
        ouverte = t.isOpen();
        t.close();
        EXPECT_TRUE(ecrireFichier(table("remises.db"), autre + QByteArray(1, '\0')));
        return false;
    });
    EXPECT_TRUE(ouverte);
    EXPECT_EQ(lectures, 1);
}

} // namespace
