#include "core/export/Generateurs.h"

#include "core/export/Conversion.h"
#include "core/xml/EcritureXml.h"

#include <array>
#include <optional>

namespace {

using EcritFichier = std::function<void(const QString &)>;

// The token is read once per block: cheap enough to leave the export's speed as it was,
// often enough to stop within a few milliseconds.
constexpr int recordsParBloc = 1024;

paradox::Table &tableExport(TablesHalvenor &tables, const char *nom)
{
    paradox::Table *t = tables.TablePourExport(QString::fromLatin1(nom));
    Q_ASSERT(t);
    return *t;
}

// Each action reads the table as it is on disk then, and closes it however it ends: a
// table fixed or replaced after a failure is read afresh by the next click.
class TableOuverte
{
public:
    explicit TableOuverte(paradox::Table &t, bool ouvrir = true) : m_table(t)
    {
        m_table.close();
        if (ouvrir)
            m_table.open();
    }
    ~TableOuverte() { m_table.close(); }
    TableOuverte(const TableOuverte &) = delete;
    TableOuverte &operator=(const TableOuverte &) = delete;

private:
    paradox::Table &m_table;
};

// The file is written as the records are read, into a temporary file renamed at the end;
// a cancelled one is not renamed. The path when the file was saved, else empty.
QString enregistrer(EcritureXml &sortie, const EcritFichier &ecrit)
{
    if (!sortie.terminer())
        return {};
    const QString chemin = sortie.chemin();
    if (ecrit)
        ecrit(chemin);
    return chemin;
}

// Walks the table from its first record: `ecrire` exports the record or skips it; the
// progress bar moves one step per record either way. False when cancelled.
template <typename Ecrire>
bool parcourir(paradox::Table &t, const ContexteExport &ctx, Ecrire &&ecrire)
{
    int avantControle = recordsParBloc;
    t.first();
    while (!t.eof()) {
        if (--avantControle == 0) {
            if (annulee(ctx.annulation))
                return false;
            avantControle = recordsParBloc;
        }
        ecrire();
        ctx.progression.avancer();
        t.next();
    }
    return !annulee(ctx.annulation);
}

QString cheminSortie(const ContexteExport &ctx, const DescriptionGenre &d, int passe)
{
    return ctx.dossierPreparer + QString::fromLatin1(d.passes[size_t(passe)].fichier);
}

// The export file, begun afresh by each read of its tables: a read the tables changed
// under is dropped, and the previous file stays until the last read is saved.
EcritureXml &commencer(std::optional<EcritureXml> &sortie, const QString &chemin, const char *racine,
                       const ContexteExport &ctx)
{
    sortie.reset();
    sortie.emplace(chemin, QString::fromLatin1(racine));
    sortie->definirAnnulation(ctx.annulation);
    AjouterVersion(*sortie);
    return *sortie;
}

// Purchase conditions: no client, type 2, supplier not excluded and existing.
QString genererRemise(TablesHalvenor &tables, const ContexteExport &ctx, const EcritFichier &ecrit)
{
    const DescriptionGenre &d = description(Genre::Remise);
    paradox::Table &t = tableExport(tables, d.passes[0].table);
    std::optional<EcritureXml> fichier;
    bool complet = false;
    paradox::lireSansModification({&t, &tables.tblFns}, [&] {
        ctx.progression.definirPosition(0);
        const TableOuverte ouverte(t);
        const TableOuverte fournis(tables.tblFns, false); // opened by its first use only

        EcritureXml &sortie = commencer(fichier, cheminSortie(ctx, d, 0), d.racine, ctx);
        ctx.progression.definirMaximum(t.recordCount());
        sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));

        ControleFournisseurs fournisseurs(tables.tblFns, ctx.fournisseursExclus);
        LignesXml lignes(t);
        // Looked up at the first record (an empty table needs none of them), then kept.
        paradox::Champ *client = nullptr;
        paradox::Champ *fournisseur = nullptr;
        paradox::Champ *type = nullptr;
        // The last supplier code seen and its verdict: the table is usually sorted by supplier.
        QString dernierCode;
        bool dernierRetenu = false;
        bool dernierConnu = false;
        complet = parcourir(t, ctx, [&] {
            if (!client) {
                client = &t.fieldByName(QStringLiteral("Client"));
                fournisseur = &t.fieldByName(QStringLiteral("Fournisseur"));
                type = &t.fieldByName(QStringLiteral("Type"));
            }
            if (!client->isNull() && !client->asString().isEmpty())
                return;
            const QString code = fournisseur->asString();
            if (type->asInteger() != 2)
                return;
            if (!dernierConnu || code != dernierCode) {
                dernierRetenu = !fournisseurs.FournisseurExclu(code) && fournisseurs.FournisseurExiste(code);
                dernierCode = code;
                dernierConnu = true;
            }
            if (dernierRetenu)
                lignes.ecrire(sortie);
        });
        return complet;
    });
    return complet ? enregistrer(*fichier, ecrit) : QString();
}

// Model personalisation: every record, the eleven declared fields.
QString genererPersonnalisation(TablesHalvenor &tables, const ContexteExport &ctx, const EcritFichier &ecrit)
{
    const DescriptionGenre &d = description(Genre::Personnalisation);
    paradox::Table &t = tableExport(tables, d.passes[0].table);
    std::optional<EcritureXml> fichier;
    bool complet = false;
    paradox::lireSansModification({&t}, [&] {
        ctx.progression.definirPosition(0);
        const TableOuverte ouverte(t);
        EcritureXml &sortie = commencer(fichier, cheminSortie(ctx, d, 0), d.racine, ctx);
        ctx.progression.definirMaximum(t.recordCount());
        sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));
        LignesXml lignes(t);
        complet = parcourir(t, ctx, [&] { lignes.ecrire(sortie); });
        return complet;
    });
    return complet ? enregistrer(*fichier, ecrit) : QString();
}

// Messages and documents: a type file then a main file, only the records that are not
// external, each marked external for the receiving side. The progress bar spans both passes.
QStringList genererDeuxPasses(TablesHalvenor &tables, const ContexteExport &ctx, const DescriptionGenre &d,
                              const EcritFichier &ecrit)
{
    ctx.progression.definirPosition(0);
    ctx.progression.definirMaximum(0);
    const QString externe = QStringLiteral("Externe");
    QStringList ecrits;

    for (int passe = 0; passe < d.nombrePasses; ++passe) {
        paradox::Table &t = tableExport(tables, d.passes[size_t(passe)].table);
        // A read again starts the bar where this pass started: the first pass is complete then.
        const int depart = ctx.progression.maximum();
        std::optional<EcritureXml> fichier;
        bool complet = false;
        paradox::lireSansModification({&t}, [&] {
            ctx.progression.definirPosition(depart);
            const TableOuverte ouverte(t);

            EcritureXml &sortie = commencer(fichier, cheminSortie(ctx, d, passe), d.racine, ctx);
            sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Configuration")));
            sortie.attributAscii(EcritureXml::nomAttribut(QStringLiteral("ViderExterne")), "1", 1);
            sortie.fermer();
            sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));
            ctx.progression.definirMaximum(depart + t.recordCount());

            LignesXml lignes(t, externe, QStringLiteral("1"));
            // Only looked up for a record: an empty table without Externe still gives its file.
            paradox::Champ *champExterne = nullptr;
            complet = parcourir(t, ctx, [&] {
                if (!champExterne)
                    champExterne = &t.fieldByName(externe);
                if (champExterne->asInteger() == 0)
                    lignes.ecrire(sortie);
            });
            return complet;
        });
        const QString chemin = complet ? enregistrer(*fichier, ecrit) : QString();
        if (chemin.isEmpty())
            break;
        ecrits << chemin;
    }
    return ecrits;
}

} // namespace

QStringList generer(Genre g, TablesHalvenor &tables, const ContexteExport &ctx,
                    const std::function<void(const QString &)> &fichierEcrit)
{
    QString chemin;
    switch (g) {
    case Genre::Remise:
        chemin = genererRemise(tables, ctx, fichierEcrit);
        break;
    case Genre::Personnalisation:
        chemin = genererPersonnalisation(tables, ctx, fichierEcrit);
        break;
    case Genre::Messages:
    case Genre::Documents:
        return genererDeuxPasses(tables, ctx, description(g), fichierEcrit);
    }
    return chemin.isEmpty() ? QStringList() : QStringList{chemin};
}
