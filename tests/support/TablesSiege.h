#pragma once

// Realistic head-office tables for tests, the demo and the benchmarks, written with the
// Paradox test writer. Every function takes the directory of the table files (the alias
// directory: see dossierTables) and replaces the table there.

#include "ParadoxWriter.h"

#include "core/base/Chemins.h"
#include "core/config/Parametres.h"
#include "core/export/Generateurs.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <utility>

namespace siege {

// What a click gives a generation: the program's paths and the settings read now.
inline ContexteExport contexte(Progression &progression, const Annulation *annulation = nullptr)
{
    return ContexteExport{chemins().RepertoirePreparer, Parametres::lire(chemins().FichierIni).fournisseursExclus,
                          progression, annulation};
}

using paradox::test::Colonne;

// The alias directory of a program directory (ZentraveAdministration/ beside the program),
// created when missing. Ends with "/".
QString dossierTables(const QString &repertoireProgramme);

// FOURNIS.DB: its 51 declared fields; Code and Nom from each pair, the other fields filled
// with plausible values derived from the code (some left null).
QList<Colonne> colonnesFournis();
void ecrireFournis(const QString &dossier, const QList<std::pair<QString, QString>> &codesNoms);
// `n` suppliers for the large cases, in the reverse of name order ("Fournisseur 00000" last):
// codes of two characters over [0-9A-Za-z], unique for the first 3,844, repeated after.
QList<std::pair<QString, QString>> fournisseursNombreux(int n);
QString codeFournisseur(int i);

// REMISES.DB, fields taken from the table, in this order:
// Fournisseur A2, Client A6, Type short, Famille A2, Modele A2, Taux number,
// DateDebut date, Libelle A40, Observation memo.
struct Remise
{
    QString fournisseur;
    QString client; // empty = null
    int type = 2;
    QString famille;
    QString modele;
    QVariant taux;       // null or double
    QDate dateDebut;     // invalid = null
    QString libelle;
    QString observation; // memo
};
QList<Colonne> colonnesRemises();
QList<QVariant> valeurs(const Remise &r);
void ecrireRemises(const QString &dossier, const QList<Remise> &remises);
// `n` conditions of supplier AB, type 2, every one exported (long exports to interrupt).
void ecrireRemisesNombreuses(const QString &dossier, qint64 n);

// Perso.DB with its 11 declared fields, in the declared order:
// Groupe short, Famille A2, Modele A2, Fournisseur A2, Produit A2, Libelle A50,
// Photo, Detail, Xml, DetailCache (memos), Flag short.
QList<Colonne> colonnesPerso();
// Each row holds the 11 values in that order (a null QVariant for a null field).
void ecrirePerso(const QString &dossier, const QList<QList<QVariant>> &lignes);

// MessageType.DB: Code short, Libelle A40, Externe short.
// MesDocsType.DB: the same fields.
struct TypeLigne
{
    int code = 0;
    QString libelle;
    QVariant externe; // null or int
};
QList<Colonne> colonnesTypes();
void ecrireMessageTypes(const QString &dossier, const QList<TypeLigne> &types);
void ecrireMesDocsTypes(const QString &dossier, const QList<TypeLigne> &types);

// Message.DB: Numero long, Type short, Titre A60, Texte memo, DateDebut date, DateFin date,
// Externe short.
struct Message
{
    int numero = 0;
    int type = 0;
    QString titre;
    QString texte; // memo, may span several lines
    QDate dateDebut;
    QDate dateFin;
    QVariant externe; // null or int
};
QList<Colonne> colonnesMessages();
void ecrireMessages(const QString &dossier, const QList<Message> &messages);

// MesDocs.DB: Numero long, Type short, Titre A60, Fichier A120, Description memo,
// Modification timestamp, Externe short.
struct Document
{
    int numero = 0;
    int type = 0;
    QString titre;
    QString fichier;
    QString description; // memo
    QDateTime modification;
    QVariant externe; // null or int
};
QList<Colonne> colonnesDocuments();
void ecrireMesDocs(const QString &dossier, const QList<Document> &documents);

// The seven tables with a few records each, every kind of row represented
// (for the demo and for end-to-end tests).
void ecrireExemple(const QString &dossier);

} // namespace siege
