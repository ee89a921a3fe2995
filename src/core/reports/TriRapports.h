#pragma once

#include "core/reports/RecuperationRapports.h"

#include <QList>
#include <QString>

#include <optional>

// The orders of the report list, shared by the report window and halvenor-cli, and kept in
// Halvenor.ini: Serveur is the listing's order; Franchise the identifier in natural order
// ("0099" before "0100", "a2" before "a10"); Etat red lines first; Date the oldest report
// first, a report without a readable date before all.
using OrdreRapports = ParametresAffichage::Tri;

// "franchise", "etat", "date" (the CLI's words); nothing for another word.
std::optional<OrdreRapports> ordreDepuisMot(const QString &mot);

// True when `a` goes strictly before `b`; equal lines keep the listing's order (stable sort).
bool avantDans(OrdreRapports ordre, const LigneRapport &a, const LigneRapport &b);
void trierLignes(QList<LigneRapport> &lignes, OrdreRapports ordre);

// Lower case and without accents: "Éclair" and "eclair" match.
QString cleRecherche(const QString &texte);
// The text a search looks into: identifier and report text, already made a key.
QString cleRecherche(const LigneRapport &ligne);
