#pragma once

#include "core/paradox/Table.h"
#include "core/xml/NativeXml.h"

#include <QSet>
#include <QString>

#include <optional>

// Turning a record into a Ligne element, and what every export shares.

// One attribute per non-null field of the current record, in the table's field order,
// named after the field, valued with the field's text.
void EcrireLigne(paradox::Table &table, const TNativeXMLNode &ligne);
// As EcrireLigne, with `valeur` in place of the text of the field named exactly `nomChamp`;
// a null field still gives no attribute.
void EcrireLigneAvecValeur(paradox::Table &table, const TNativeXMLNode &ligne, const QString &nomChamp,
                           const QString &valeur);

// The clock's local date and time as 14 digits: yyyyMMddHHmmss.
QString Horodatage();

// Adds Version (Numero, Date) under the root of a new export document.
void AjouterVersion(const TNativeXMLDocument &document);

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

    bool FournisseurExclu(const QString &code);
    bool FournisseurExiste(const QString &code);

private:
    paradox::Table &m_tblFns;
    QString m_fichierIni;
    std::optional<QSet<QString>> m_exclus;
    std::optional<QSet<QString>> m_codes;
};
