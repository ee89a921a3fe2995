#include "core/export/Generateurs.h"

#include "core/base/Chemins.h"
#include "core/export/Conversion.h"
#include "core/xml/EcritureXml.h"

#include <array>
#include <optional>

namespace {

using EcritFichier = std::function<void(const QString &)>;

paradox::Table &tableExport(TablesHalvenor &tables, const QString &nom)
{
    paradox::Table *t = tables.TablePourExport(nom);
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

// The file is written as the records are read, into a temporary file renamed at the end.
QString enregistrer(EcritureXml &sortie, Progression &progression, const EcritFichier &ecrit)
{
    sortie.terminer([&progression] { progression.traiterEvenements(); });
    const QString chemin = sortie.chemin();
    if (ecrit)
        ecrit(chemin);
    return chemin;
}

QString cheminExport(const QString &nomFichier)
{
    return chemins().RepertoirePreparer + nomFichier;
}

// Walks the table from its first record: `ecrire` exports the record or skips it; the
// progress bar moves one step per record either way.
template <typename Ecrire>
void parcourir(paradox::Table &t, Progression &progression, Ecrire &&ecrire)
{
    t.first();
    while (!t.eof()) {
        ecrire();
        progression.avancer();
        progression.traiterEvenements();
        t.next();
    }
}

// The export file, begun afresh by each read of its tables: a read the tables changed
// under is dropped, and the previous file stays until the last read is saved.
EcritureXml &commencer(std::optional<EcritureXml> &sortie, const QString &fichier, const QString &racine,
                       Progression &progression)
{
    sortie.reset();
    sortie.emplace(cheminExport(fichier), racine);
    sortie->definirAttente([&progression] { progression.traiterEvenements(); });
    AjouterVersion(*sortie);
    return *sortie;
}

// Purchase conditions: no client, type 2, supplier not excluded and existing.
QString genererRemise(TablesHalvenor &tables, Progression &progression, const EcritFichier &ecrit)
{
    paradox::Table &t = tableExport(tables, QStringLiteral("remise"));
    std::optional<EcritureXml> fichier;
    paradox::lireSansModification({&t, &tables.tblFns}, [&] {
        progression.definirPosition(0);
        const TableOuverte ouverte(t);
        const TableOuverte fournis(tables.tblFns, false); // opened by its first use only

        EcritureXml &sortie = commencer(fichier, QStringLiteral("remise_achat.xml"), QStringLiteral("RemisesAchat"),
                                        progression);
        progression.definirMaximum(t.recordCount());
        sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));

        ControleFournisseurs fournisseurs(tables.tblFns, chemins().FichierIni);
        LignesXml lignes(t);
        // Looked up at the first record (an empty table needs none of them), then kept.
        paradox::Champ *client = nullptr;
        paradox::Champ *fournisseur = nullptr;
        paradox::Champ *type = nullptr;
        // The last supplier code seen and its verdict: the table is usually sorted by supplier.
        QString dernierCode;
        bool dernierRetenu = false;
        bool dernierConnu = false;
        parcourir(t, progression, [&] {
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
    });

    return enregistrer(*fichier, progression, ecrit);
}

// Model personalisation: every record, the eleven declared fields.
QString genererPersonnalisation(TablesHalvenor &tables, Progression &progression, const EcritFichier &ecrit)
{
    paradox::Table &t = tableExport(tables, QStringLiteral("Personnalisation"));
    std::optional<EcritureXml> fichier;
    paradox::lireSansModification({&t}, [&] {
        progression.definirPosition(0);
        const TableOuverte ouverte(t);
        EcritureXml &sortie = commencer(fichier, QStringLiteral("personnalisation.xml"),
                                        QStringLiteral("Personnalisations"), progression);
        progression.definirMaximum(t.recordCount());
        sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));
        LignesXml lignes(t);
        parcourir(t, progression, [&] { lignes.ecrire(sortie); });
    });

    return enregistrer(*fichier, progression, ecrit);
}

struct Passe
{
    QString nomExport;
    QString fichier;
};

// Messages and documents: a type file then a main file, only the records that are not
// external, each marked external for the receiving side. The progress bar spans both passes.
QStringList genererDeuxPasses(TablesHalvenor &tables, Progression &progression, const QString &racine,
                              const std::array<Passe, 2> &passes, const EcritFichier &ecrit)
{
    progression.definirPosition(0);
    progression.definirMaximum(0);
    const QString externe = QStringLiteral("Externe");
    QStringList ecrits;

    for (const Passe &passe : passes) {
        paradox::Table &t = tableExport(tables, passe.nomExport);
        // A read again starts the bar where this pass started: the first pass is complete then.
        const int depart = progression.maximum();
        std::optional<EcritureXml> fichier;
        paradox::lireSansModification({&t}, [&] {
            progression.definirPosition(depart);
            const TableOuverte ouverte(t);

            EcritureXml &sortie = commencer(fichier, passe.fichier, racine, progression);
            sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Configuration")));
            sortie.attributAscii(EcritureXml::nomAttribut(QStringLiteral("ViderExterne")), "1", 1);
            sortie.fermer();
            sortie.ouvrir(EcritureXml::nomElement(QStringLiteral("Lignes")));
            progression.definirMaximum(depart + t.recordCount());

            LignesXml lignes(t, externe, QStringLiteral("1"));
            // Only looked up for a record: an empty table without Externe still gives its file.
            paradox::Champ *champExterne = nullptr;
            parcourir(t, progression, [&] {
                if (!champExterne)
                    champExterne = &t.fieldByName(externe);
                if (champExterne->asInteger() == 0)
                    lignes.ecrire(sortie);
            });
        });

        ecrits << enregistrer(*fichier, progression, ecrit);
    }
    return ecrits;
}

} // namespace

QStringList generer(Genre g, TablesHalvenor &tables, Progression &progression)
{
    return generer(g, tables, progression, {});
}

QStringList generer(Genre g, TablesHalvenor &tables, Progression &progression,
                    const std::function<void(const QString &)> &fichierEcrit)
{
    switch (g) {
    case Genre::Remise:
        return {genererRemise(tables, progression, fichierEcrit)};
    case Genre::Personnalisation:
        return {genererPersonnalisation(tables, progression, fichierEcrit)};
    case Genre::Messages:
        return genererDeuxPasses(tables, progression, QStringLiteral("Messages"),
                                 {Passe{QStringLiteral("message_type"), QStringLiteral("message_type.xml")},
                                  Passe{QStringLiteral("message"), QStringLiteral("message.xml")}},
                                 fichierEcrit);
    case Genre::Documents:
        return genererDeuxPasses(tables, progression, QStringLiteral("Documents"),
                                 {Passe{QStringLiteral("mes_docs_type"), QStringLiteral("mes_docs_type.xml")},
                                  Passe{QStringLiteral("mes_docs"), QStringLiteral("mes_docs.xml")}},
                                 fichierEcrit);
    }
    return {};
}
