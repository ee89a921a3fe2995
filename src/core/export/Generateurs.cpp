#include "core/export/Generateurs.h"

#include "core/base/Chemins.h"
#include "core/export/Conversion.h"
#include "core/xml/NativeXml.h"

#include <array>

namespace {

using EcritFichier = std::function<void(const QString &)>;

paradox::Table &tableExport(TablesHalvenor &tables, const QString &nom)
{
    paradox::Table *t = tables.TablePourExport(nom);
    Q_ASSERT(t);
    return *t;
}

void ouvrirSiFermee(paradox::Table &t)
{
    if (!t.isOpen())
        t.open();
}

void fermerSiOuverte(paradox::Table &t)
{
    if (t.isOpen())
        t.close();
}

QString enregistrer(const TNativeXMLDocument &document, const QString &nomFichier, const EcritFichier &ecrit)
{
    const QString chemin = chemins().RepertoirePreparer + nomFichier;
    document.SaveToFile(chemin);
    if (ecrit)
        ecrit(chemin);
    return chemin;
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

// Purchase conditions: no client, type 2, supplier not excluded and existing.
QString genererRemise(TablesHalvenor &tables, Progression &progression, const EcritFichier &ecrit)
{
    progression.definirPosition(0);
    paradox::Table &t = tableExport(tables, QStringLiteral("remise"));
    ouvrirSiFermee(t);

    TNativeXMLDocument document(QStringLiteral("RemisesAchat"));
    AjouterVersion(document);
    progression.definirMaximum(t.recordCount());
    const TNativeXMLNode lignes = document.Root().AddChild(QStringLiteral("Lignes"));

    ControleFournisseurs fournisseurs(tables.tblFns, chemins().FichierIni);
    // Looked up at the first record (an empty table needs none of them), then kept.
    paradox::Champ *client = nullptr;
    paradox::Champ *fournisseur = nullptr;
    paradox::Champ *type = nullptr;
    const QString nomLigne = QStringLiteral("Ligne");
    parcourir(t, progression, [&] {
        if (!client) {
            client = &t.fieldByName(QStringLiteral("Client"));
            fournisseur = &t.fieldByName(QStringLiteral("Fournisseur"));
            type = &t.fieldByName(QStringLiteral("Type"));
        }
        const QString codeClient = client->asString();
        const QString code = fournisseur->asString();
        const int typeRemise = type->asInteger();
        if (codeClient.isEmpty() && typeRemise == 2 && !fournisseurs.FournisseurExclu(code)
            && fournisseurs.FournisseurExiste(code))
            EcrireLigne(t, lignes.AddChild(nomLigne));
    });

    const QString chemin = enregistrer(document, QStringLiteral("remise_achat.xml"), ecrit);
    fermerSiOuverte(t);
    return chemin;
}

// Model personalisation: every record, the eleven declared fields.
QString genererPersonnalisation(TablesHalvenor &tables, Progression &progression, const EcritFichier &ecrit)
{
    progression.definirPosition(0);
    paradox::Table &t = tableExport(tables, QStringLiteral("Personnalisation"));
    ouvrirSiFermee(t);

    TNativeXMLDocument document(QStringLiteral("Personnalisations"));
    AjouterVersion(document);
    progression.definirMaximum(t.recordCount());
    const TNativeXMLNode lignes = document.Root().AddChild(QStringLiteral("Lignes"));
    const QString nomLigne = QStringLiteral("Ligne");
    parcourir(t, progression, [&] { EcrireLigne(t, lignes.AddChild(nomLigne)); });

    const QString chemin = enregistrer(document, QStringLiteral("personnalisation.xml"), ecrit);
    fermerSiOuverte(t);
    return chemin;
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
    const QString un = QStringLiteral("1");
    const QString nomLigne = QStringLiteral("Ligne");
    QStringList ecrits;

    for (const Passe &passe : passes) {
        paradox::Table &t = tableExport(tables, passe.nomExport);
        ouvrirSiFermee(t);

        TNativeXMLDocument document(racine);
        AjouterVersion(document);
        document.Root().AddChild(QStringLiteral("Configuration")).SetAttributeInt(QStringLiteral("ViderExterne"), 1);
        const TNativeXMLNode lignes = document.Root().AddChild(QStringLiteral("Lignes"));
        progression.definirMaximum(progression.maximum() + t.recordCount());

        // Only looked up for a record: an empty table without Externe still gives its file.
        paradox::Champ *champExterne = nullptr;
        parcourir(t, progression, [&] {
            if (!champExterne)
                champExterne = &t.fieldByName(externe);
            if (champExterne->asInteger() == 0)
                EcrireLigneAvecValeur(t, lignes.AddChild(nomLigne), externe, un);
        });

        ecrits << enregistrer(document, passe.fichier, ecrit);
        fermerSiOuverte(t);
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
