#pragma once

#include "core/base/Erreurs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

// Read-only access to the head-office Paradox tables.
namespace paradox {

enum class TypeChamp {
    Alpha, Date, Short, Long, Currency, Number, Logical, Memo, Blob, FmtMemo,
    Ole, Graphic, Time, Timestamp, AutoInc, Bcd, Bytes
};

// "alpha", "date", "short", ... as halvenor-cli table --json names them.
QString nomType(TypeChamp type);

class FichierParadox; // the .DB (and .MB) reader

// Directory of the alias ZentraveAdministration: [ZentraveAdministration] Chemin= of
// Alias.ini in the program directory, else the folder ZentraveAdministration/ there.
QString repertoireAlias(const QString &repertoireProgramme);

// Asked for the password of a protected table when none of the known ones matches: given
// the table's name (as declared for an alias table) and whether the password it gave last was wrong; nothing when the
// user gives up (the read then fails). The window asks; halvenor-cli never does.
using DemandeMotDePasse = std::function<std::optional<QString>(const QString &fichier, bool precedentFaux)>;

// The passwords a protected table may be opened with. A table opens with the first one
// whose key matches its header; an unprotected table ignores them.
struct MotsDePasse
{
    QStringList connus;
    quint32 cleAcceptee = 0; // the key of a password already accepted for this table
    DemandeMotDePasse demander;
    QString nomTable; // the table as messages name it; empty: its file name
};

// A protected table that no password opened (none matched, or the user gave up): reading
// again cannot help, so lireSansModification passes it on at once.
class MotDePasseRefuse : public HalvenorError
{
public:
    using HalvenorError::HalvenorError;
};

// MotDePasse, MotDePasse2, MotDePasse3, ... of [ZentraveAdministration] in Alias.ini of the
// program directory, in that order.
QStringList motsDePasseAlias(const QString &repertoireProgramme);

class Table;

// Runs `lecture`, which opens and walks `tables` from their first record, until none of
// them changed while it ran (files' identity, size and times, header counters): a table
// written meanwhile is read again, up to three more times, then the read fails with "La
// table X a été modifiée pendant la lecture ; réessayez plus tard.". `lecture` must start
// afresh each time (closing, then opening the tables: a table left open is not watched)
// and commit nothing: whatever it writes is kept only once this returns. It returns false
// when it stopped before the end (cancelled): its result is dropped, so it is not read again.
void lireSansModification(std::initializer_list<Table *> tables, const std::function<bool()> &lecture);

// One exposed field of a table, read on the table's current record.
class Champ
{
public:
    const QString &nom() const { return m_nom; }
    int indexFichier() const { return m_index; } // position of the field in the file
    TypeChamp type() const;
    int taille() const; // size in the record, in bytes

    bool isNull() const;
    QString asString() const; // text forms of the exports (French formats)
    int asInteger() const;    // null gives 0
    // Typed value: null QVariant, qlonglong, double, bool, QDate, QTime, QDateTime,
    // QString (alpha, memo, fmtmemo, and bcd with a decimal point) or QByteArray (binary kinds).
    QVariant valeur() const;

private:
    friend class Table;
    Champ(const Table *table, int indexFichier, QString nom)
        : m_table(table), m_index(indexFichier), m_nom(std::move(nom)) {}
    const Table *m_table;
    int m_index; // position of the field in the file
    QString m_nom;
};

// A table object: opened read-only, walked first to last, closed.
// Every failure throws HalvenorError with a French text naming what failed.
class Table
{
public:
    // A table of the alias ZentraveAdministration (resolved at open from the program
    // directory). With declared fields, exactly those are exposed, in that order, and
    // open fails when one is missing from the file; without, every field of the file.
    Table(QString repertoireProgramme, QString nomFichier, QStringList champsDeclares = {});
    // A table given by the path of its .DB file.
    static std::unique_ptr<Table> depuisChemin(const QString &chemin);
    ~Table();

    const QString &nomFichier() const { return m_nomFichier; }
    // Passwords besides those of Alias.ini (alias tables) and who to ask when none matches.
    // The password accepted so far is forgotten: the next open checks these again.
    void definirMotsDePasse(QStringList connus, DemandeMotDePasse demander = {});
    bool isOpen() const;
    void open();
    void close();
    int recordCount() const;
    void first();
    void next();
    bool eof() const;
    int fieldCount() const;
    Champ &field(int index);
    Champ &fieldByName(const QString &nom);

    // The underlying file (valid while open).
    const FichierParadox &fichier() const;
    int recordCourant() const { return m_courant; }
    // Bytes of the current record (nullptr for an empty table); fails when closed.
    const uchar *donneesCourantes() const;

private:
    friend void lireSansModification(std::initializer_list<Table *>, const std::function<bool()> &);
    [[noreturn]] void nonOuverte() const;
    FichierParadox *fichierOuvert();
    // The table's files changed since it was opened (it may have been closed since).
    bool modifieeDepuisOuverture() const;

    QString m_repertoireProgramme;
    QString m_cheminDirect;
    QString m_nomFichier;
    QStringList m_champsDeclares;
    std::unique_ptr<FichierParadox> m_fichier;
    QStringList m_motsDePasse;
    DemandeMotDePasse m_demande;
    quint32 m_cleAcceptee = 0;
    // Within lireSansModification: the files first opened, and their state then.
    bool m_surveillee = false;
    QString m_cheminOuvert;
    QString m_cheminMemos;
    QByteArray m_empreinte;
    std::vector<Champ> m_champs;
    int m_courant = 0;
    int m_rang = 0; // position of the current record in its block
    const uchar *m_donnees = nullptr;
};

} // namespace paradox
