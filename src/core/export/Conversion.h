#pragma once

#include "core/paradox/Table.h"
#include "core/xml/EcritureXml.h"
#include "core/xml/NativeXml.h"

#include <QSet>
#include <QString>

#include <array>
#include <map>
#include <optional>
#include <vector>

namespace paradox {
class PageCode;
}

// Turning a record into a Ligne element, and what every export shares.

// One attribute per non-null field of the current record, in the table's field order,
// named after the field, valued with the field's text.
void EcrireLigne(paradox::Table &table, const TNativeXMLNode &ligne);
// As EcrireLigne, with `valeur` in place of the text of the field named exactly `nomChamp`;
// a null field still gives no attribute.
void EcrireLigneAvecValeur(paradox::Table &table, const TNativeXMLNode &ligne, const QString &nomChamp,
                           const QString &valeur);

// EcrireLigne and EcrireLigneAvecValeur for a file written as it is made: the same
// attributes, bytes and refusals, straight from the table's bytes to the file's (a text
// of a single-byte code page never goes through UTF-16).
class LignesXml
{
public:
    explicit LignesXml(paradox::Table &table);
    LignesXml(paradox::Table &table, const QString &nomChamp, const QString &valeur);

    // One Ligne element for the current record, inside the element open in `sortie`.
    void ecrire(EcritureXml &sortie);

private:
    struct Colonne
    {
        int index = 0;      // in the file
        QString nom;
        QByteArray octetsNom; // checked at its first use, as the tree does
        bool remplace = false;
        int premiere = 0;   // the first column of that name (names repeated: the tree keeps one)
    };
    void preparer();
    void ecrireRepetes(EcritureXml &sortie);
    const QByteArray &nom(Colonne &c);
    const std::array<char, 256> &traduction(const paradox::PageCode *page);

    paradox::Table &m_table;
    QString m_nomChamp;
    QString m_valeurTexte;
    QByteArray m_valeur; // in windows-1252
    bool m_avecValeur = false;
    bool m_prete = false;
    bool m_nomsRepetes = false;
    std::vector<Colonne> m_colonnes;
    std::map<const paradox::PageCode *, std::array<char, 256>> m_traductions;
    QByteArray m_nomLigne;
};

// The clock's local date and time as 14 digits: yyyyMMddHHmmss.
QString Horodatage();

// Adds Version (Numero, Date) under the root of a new export document.
void AjouterVersion(const TNativeXMLDocument &document);
void AjouterVersion(EcritureXml &sortie);

// The two supplier checks read afresh on each call: the exclusion list of Halvenor.ini,
// and a walk of FOURNIS.DB from its first record (the table is closed at the end).
bool FournisseurExclu(const QString &fichierIni, const QString &code);
bool FournisseurExiste(paradox::Table &tblFns, const QString &code);

// The same two checks, each read once on its first use and kept for the whole export.
// Nothing can change Halvenor.ini or FOURNIS.DB while an export runs (a second action is
// refused meanwhile), so every answer is the one a fresh read would give; a per-record
// walk of the supplier table made large exports take minutes.
class ControleFournisseurs
{
public:
    ControleFournisseurs(paradox::Table &tblFns, QString fichierIni);
    // The excluded codes already read (the settings of the click).
    ControleFournisseurs(paradox::Table &tblFns, const QStringList &exclus);

    bool FournisseurExclu(const QString &code);
    bool FournisseurExiste(const QString &code);

private:
    paradox::Table &m_tblFns;
    QString m_fichierIni;
    std::optional<QSet<QString>> m_exclus;
    std::optional<QSet<QString>> m_codes;
};
