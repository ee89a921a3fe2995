#include "cli/Cli.h"

#include "core/base/Chemins.h"
#include "core/config/Configuration.h"
#include "core/base/Erreurs.h"
#include "core/export/Generateurs.h"

#include <QDir>

#include <cstdio>
#include <set>
#include <unistd.h>

namespace {

// A progress bar on the terminal, redrawn only when its percentage or maximum changes:
// the generators report every record and must stay fast.
class ProgressionTerminal : public Progression
{
public:
    ProgressionTerminal(QTextStream &err, QString libelle) : m_err(err), m_libelle(std::move(libelle)) {}

    void definirPosition(int p) override
    {
        m_position = p;
        dessiner();
    }
    void definirMaximum(int m) override
    {
        m_maximum = m;
        dessiner();
    }
    int maximum() const override { return m_maximum; }
    void avancer() override
    {
        ++m_position;
        dessiner();
    }

    void terminer()
    {
        if (m_dessine) {
            m_err << '\n';
            m_err.flush();
            m_dessine = false;
        }
    }

private:
    void dessiner()
    {
        const int pourcent = m_maximum > 0 ? static_cast<int>(qint64(m_position) * 100 / m_maximum) : 0;
        if (m_dessine && pourcent == m_pourcent && m_maximum == m_maximumDessine)
            return;
        m_pourcent = pourcent;
        m_maximumDessine = m_maximum;
        m_dessine = true;
        constexpr int largeur = 30;
        const int plein = qBound(0, pourcent * largeur / 100, largeur);
        m_err << '\r' << m_libelle << " [" << QString(plein, u'#') << QString(largeur - plein, u' ') << "] "
              << qMin(pourcent, 100) << " % (" << m_position << '/' << m_maximum << ')';
        m_err.flush();
    }

    QTextStream &m_err;
    QString m_libelle;
    int m_position = 0;
    int m_maximum = 0;
    int m_pourcent = -1;
    int m_maximumDessine = -1;
    bool m_dessine = false;
};

int commandeGenerer(ContexteCli &ctx)
{
    if (!ctx.inconnue.isEmpty())
        throw ErreurUsage(QStringLiteral("Genre inconnu : ") + ctx.inconnue);
    if (ctx.args.isEmpty())
        throw ErreurUsage(QStringLiteral("Indiquez au moins un genre à générer."));

    EtatConfiguration etat;
    AppliquerConfiguration(chemins().FichierIni, etat);

    std::set<Genre> demandes;
    for (const QString &a : ctx.args) {
        if (a == u"tout") {
            for (Genre g : tousLesGenres)
                if (etat.actif(g))
                    demandes.insert(g);
            continue;
        }
        const auto g = genreDepuisNom(a);
        if (!g)
            throw ErreurUsage(QStringLiteral("Genre inconnu : ") + a);
        if (!etat.actif(*g)) {
            // The window keeps this row's button disabled.
            ctx.err << "Le genre « " << a << " » n'est pas activé dans Halvenor.ini (clé " << cleGenre(*g)
                    << " de la section Halvenor) : génération refusée.\n";
            return 1;
        }
        demandes.insert(*g);
    }
    if (demandes.empty()) {
        ctx.err << "Aucun genre n'est activé dans Halvenor.ini : rien à générer.\n";
        return 1;
    }

    const QString preparer = chemins().RepertoirePreparer;
    if (!QDir().mkpath(preparer))
        throw HalvenorError(QStringLiteral("Impossible de créer le dossier de travail ") + preparer);

    TablesHalvenor tables(chemins().RepertoireProgramme);
    const QStringList exclus = Parametres::lire(chemins().FichierIni).fournisseursExclus;
    const bool terminal = isatty(fileno(stderr)) != 0;
    // std::set keeps the kinds in row order.
    for (Genre g : demandes) {
        ProgressionTerminal barre(ctx.err, nomGenre(g));
        ProgressionMuette muette;
        Progression &progression = terminal ? static_cast<Progression &>(barre) : muette;
        const auto afficherChemin = [&ctx, &barre](const QString &chemin) {
            barre.terminer(); // the bar's line ends before the path is written on the same screen
            ctx.out << QDir::toNativeSeparators(chemin) << '\n';
            ctx.out.flush();
        };
        try {
            generer(g, tables, ContexteExport{preparer, exclus, progression, ctx.annulation}, afficherChemin);
        } catch (...) {
            barre.terminer();
            throw;
        }
        barre.terminer();
        if (annulee(ctx.annulation))
            return 1;
    }
    return 0;
}

const EnregistrementCommande enregistrement(
    "generer", "generer <remise|personnalisation|messages|documents|tout>...",
    "Génère les fichiers XML des genres nommés dans le dossier preparer/ (tout : chaque genre activé "
    "dans Halvenor.ini) et affiche le chemin de chaque fichier écrit.",
    &commandeGenerer);

} // namespace
