#pragma once

#include "core/xml/NativeXml.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <functional>

// The franchisees' automatic update ("MajAuto") reports: one current report per franchisee
// in /Rapport, one history file per franchisee in /Rapport/Historique.

inline const QString RacineMajAuto = QStringLiteral("MajAuto");
inline const QString TexteMajInstallee = QStringLiteral("Mise à jour automatique installée.");
inline const QString DebutDerniereMaj = QStringLiteral("Derniere mise à jour automatique effectuée le ");
inline const QString DebutXmlIllisible = QStringLiteral("Impossible de lire le fichier XML : ");
inline const QString DebutDateIllisible = QStringLiteral("Date illisible dans le rapport : ");
inline const QString TexteRapportTropAncien = QStringLiteral("Rapport trop ancien");
inline const QString TexteSectionSansMessage = QStringLiteral("En erreur, sans message");
inline const QString DebutTelechargementImpossible = QStringLiteral("Impossible de télécharger le fichier : ");

// A report file: its extension, from the last point on, is exactly ".xml" (lower case).
bool estFichierRapport(const QString &nomFichier);
// The franchisee identifier: the name up to the first ".xml" ("a.xml.xml" gives "a").
QString identifiantRapport(const QString &nomFichier);
// A server-given name that can safely become a local file name: no "/" or "\",
// not "." or "..", not empty. Anything else would let the server write outside our folders.
bool nomLocalSur(const QString &nomFichier);

// Sections in their reading order: General, HVN, Zentrave.
inline const std::array<QString, 3> NomsSections = {
    QStringLiteral("General"), QStringLiteral("HVN"), QStringLiteral("Zentrave")};

// True for each section whose Etat (default 1) is not 0.
std::array<bool, 3> EtatsSections(const TNativeXMLNode &entree);
// "[Section] message\n" for each Message of the section, in document order.
QString MessagesSection(int section, const TNativeXMLNode &entree);
// The messages of the sections in error, or the "installed" text when none is.
QString TexteEntree(const std::array<bool, 3> &etats, const TNativeXMLNode &entree);
inline bool enErreur(const std::array<bool, 3> &etats)
{
    return etats[0] || etats[1] || etats[2];
}

// The Date attribute of an entry (MajAuto or Item), converted; throws HalvenorError
// when it is missing or not a date.
QDateTime dateEntree(const TNativeXMLNode &entree, const QDate &aujourdhui);

// One current report, read from its local copy.
struct LectureRapport
{
    bool lu = false;         // false: the file could not be loaded
    bool sectionsEnErreur = false;
    QDateTime date;          // valid when lu
    QString texte;           // the whole text shown for the report
    QString motif;           // the first message of a section in error, or why the file is unreadable
    int sectionEnErreur = -1; // the first section in error, -1 when none is
};

// Why a line is red, in one line: the report's own reason; else "Rapport trop ancien" when it is
// out of date; else the first section in error, named, when no section said why. Empty when green.
QString motifRapport(const LectureRapport &lecture, bool recent);

// Loads `chemin` into `document` (reused from one report to the next) and builds its text.
// An unloadable file, one of another root and one whose Date is unreadable are not errors
// but red reports that say so.
LectureRapport LireRapportCourant(TNativeXMLDocument &document, const QString &chemin, const QDate &aujourdhui);
// The same over bytes already in memory; `chemin` is the name the texts give.
LectureRapport LireRapportOctets(TNativeXMLDocument &document, const QByteArray &octets, const QString &chemin,
                                 const QDate &aujourdhui);

// One past run of a history file.
struct EntreeHistorique
{
    QDateTime date;
    QString texte;
    bool enErreur = false;
};

// Walks the Items of a loaded history document in document order. Each entry is handed over
// as soon as it is read, so that a later Item with a bad Date (which throws) leaves the earlier
// ones in place.
void ParcourirHistorique(const TNativeXMLDocument &document, const QDate &aujourdhui,
                         const std::function<void(const EntreeHistorique &)> &ajouter);

// The report is recent when both its own day and the server's day are on or after today
// minus `jours` days. A server date the listing did not give is never recent.
bool RapportRecent(const QDateTime &dateRapport, const QDateTime &dateServeur, int jours, const QDate &aujourdhui);

// CSV export of a history: "date;text;" + CR LF per line, windows-1252, nothing else.
struct LigneCsv
{
    QString date;
    QString texte;
};
QByteArray CsvHistorique(const QList<LigneCsv> &lignes);
// The CSV of a history's entries (each dated by its day): the one export of "Exporter" and
// of halvenor-cli historique --csv.
QByteArray CsvEntreesHistorique(const QList<EntreeHistorique> &entrees);
// Writes through QSaveFile; throws HalvenorError when the file cannot be written.
void EcrireFichier(const QString &chemin, const QByteArray &contenu);
