#pragma once

#include "core/paradox/Table.h"

#include <QString>
#include <QStringList>

// Declared fields, in the order the exports write them.
QStringList champsFournis(); // FOURNIS.DB, 51 fields
QStringList champsPerso();   // Perso.DB, 11 fields

// The seven head-office tables, read-only, of the alias ZentraveAdministration.
class TablesHalvenor
{
public:
    explicit TablesHalvenor(const QString &repertoireProgramme);

    paradox::Table tblFns;
    paradox::Table tblPerso;
    paradox::Table tblMessage;
    paradox::Table tblMessageType;
    paradox::Table tblRemise;
    paradox::Table tblMesDocs;
    paradox::Table tblMesDocsType;

    // Who to ask for the password of a protected table that no password of Alias.ini or of
    // `connus` opens (the window); without, such a table fails to open (halvenor-cli). Set
    // again for each action: a password accepted by an earlier one is forgotten.
    void definirDemandeMotDePasse(const paradox::DemandeMotDePasse &demande, const QStringList &connus = {});

    // The table of an export name (compared in lower case), or nullptr.
    paradox::Table *TablePourExport(const QString &nom);
};
