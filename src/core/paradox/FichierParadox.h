#pragma once

#include "core/paradox/Table.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace paradox {

class Dechiffrement;
class PageCode;

// The path of `nom` inside `repertoire`, matched without regard to letter case
// (the tables come from Windows); empty when there is none.
QString trouverSansCasse(const QString &repertoire, const QString &nom);
// The .MB beside a .DB (letter case ignored); empty when there is none.
QString cheminMemosDe(const QString &cheminDb);
// The state of a table's files that a write changes: for the .DB and the .MB, identity,
// size, modification and change times; the header's record and block counts and change
// counters. Two equal states mean that the table was not written in between. Taken
// `avantLecture`, it first waits for files written in the last 100 ms to be left alone
// (half a second at most; a table still written then matches no other state).
QByteArray empreinteTable(const QString &cheminDb, const QString &cheminMb, bool avantLecture);

struct DescriptionChamp
{
    QString nom;
    TypeChamp type = TypeChamp::Alpha;
    int taille = 0;    // bytes in the record
    int decalage = 0;  // offset in the record
    int decimales = 0; // BCD: digits after the decimal point
};

// Where the bytes of a .DB or .MB come from: a file read by blocks with checked reads
// (never mapped: a file truncated under a mapping kills the process with SIGBUS), or
// bytes already in memory.
class SourceOctets
{
public:
    virtual ~SourceOctets() = default;
    qint64 taille() const { return m_taille; } // as it was when opened
    // `n` bytes at `position`, in `tampon` or straight from memory; valid until the next
    // read into the same `tampon`. nullptr when they cannot all be read: see raison().
    virtual const uchar *lire(qint64 position, qint64 n, QByteArray &tampon) = 0;
    const QString &raison() const { return m_raison; }

protected:
    qint64 m_taille = 0;
    QString m_raison;
};

// A .DB file (and its .MB), read-only. The header is checked when it is opened; the
// blocks are read one at a time as the records are walked, and a field is decoded only
// when it is read. Every offset and length taken from the files is checked: a damaged
// file, or one truncated or unreachable while it is read, gives a HalvenorError naming
// it, never a read outside what was read.
// A protected table opens with the first of `motsDePasse` that matches its header; its
// blocks and memos are then deciphered as they are read.
class FichierParadox
{
public:
    explicit FichierParadox(const QString &cheminDb, const MotsDePasse &motsDePasse = {});
    // The same reader over bytes in memory; `nom` names the table in errors. An empty
    // `mb` means that there is no .MB.
    static std::unique_ptr<FichierParadox> depuisMemoire(const QString &nom, QByteArray db, QByteArray mb = {},
                                                         const MotsDePasse &motsDePasse = {});
    ~FichierParadox();
    FichierParadox(const FichierParadox &) = delete;
    FichierParadox &operator=(const FichierParadox &) = delete;

    const QString &chemin() const { return m_chemin; }
    const QString &cheminMemos() const { return m_cheminMb; } // empty when there is no .MB
    int version() const { return m_version; }                // file version id, 3..12
    int typeFichier() const { return m_typeFichier; }        // 0 indexed, 2 not indexed
    int codePage() const;
    quint32 cleChiffrement() const { return m_cle; } // 0: not protected
    const PageCode &pageCode() const { return *m_page; }
    int tailleEnregistrement() const { return m_tailleEnregistrement; }
    int tailleBloc() const { return m_tailleBloc; }
    int nombreEnregistrements() const { return m_nombreEnregistrements; }
    const std::vector<DescriptionChamp> &champs() const { return m_champs; }
    int indexChamp(const QString &nom) const; // letter case ignored; -1 when absent

    // The records, block by block in the order of the chain. premierBloc() and
    // blocSuivant() read the next block holding records; false when every record has
    // been given. A chain that stops early, loops or leaves the file fails there.
    bool premierBloc();
    bool blocSuivant();
    int enregistrementsDansBloc() const { return m_nombreDansBloc; }
    // Record `rang` of the current block, valid until the next block is read.
    const uchar *enregistrement(int rang) const
    {
        return m_bloc + 6 + qint64(rang) * m_tailleEnregistrement;
    }

    // Field `champ` of the record that starts at `enr`.
    bool estNul(const uchar *enr, int champ) const;
    QVariant valeur(const uchar *enr, int champ) const; // see Champ::valeur
    QString texte(const uchar *enr, int champ) const;   // see Champ::asString
    int entier(const uchar *enr, int champ) const;      // see Champ::asInteger
    // The text of texte() without a QString, for the exports:
    // - numbers, dates, times and logicals: ASCII written at `sortie` (64 bytes at least),
    //   its length returned;
    // - alpha, memos and binary kinds: -1, and `octets` holds the field's bytes (valid until
    //   the next memo is read) with `page` the code page they are in;
    // - anything else (BCD, a date outside years 1 to 9999): -2, use texte().
    qsizetype texteSansConversion(const uchar *enr, int champ, char *sortie,
                                  std::pair<const char *, qsizetype> &octets, const PageCode *&page) const;
    // The bytes of a memo or binary field, from the record or the .MB.
    QByteArray octetsBlob(const uchar *enr, int champ) const;
    // The same without a copy where possible: valid until the next memo is read.
    std::pair<const char *, qsizetype> vueBlob(const uchar *enr, int champ) const;

private:
    FichierParadox(const QString &nom, std::unique_ptr<SourceOctets> db, std::unique_ptr<SourceOctets> mb,
                   const MotsDePasse &motsDePasse);

    [[noreturn]] void endommage(const QString &detail) const;
    [[noreturn]] void illisible(const SourceOctets &source, const QString &fichier) const;
    [[noreturn]] void memosEndommages(const DescriptionChamp &d, const QString &detail) const;
    void lireEntete(const MotsDePasse &motsDePasse);
    void verifierMotDePasse(const MotsDePasse &motsDePasse) const;
    bool chargerBloc(quint32 numero);
    const uchar *lireMb(qint64 position, qint64 n, const DescriptionChamp &d) const;
    const uchar *lireMbClair(qint64 position, qint64 n, QByteArray &tampon) const;
    QString texteBcd(const uchar *p, int decimales, QChar separateur, bool zerosRetires) const;

    QString m_chemin;
    QString m_cheminMb;
    std::unique_ptr<SourceOctets> m_sourceDb;
    std::unique_ptr<SourceOctets> m_sourceMb; // null when there is no .MB
    qint64 m_tailleDb = 0;
    qint64 m_tailleMb = 0;
    const PageCode *m_page = nullptr;
    quint32 m_cle = 0;
    std::unique_ptr<Dechiffrement> m_dechiffrement; // null when the table is not protected
    QByteArray m_blocClair;                          // the current block, deciphered

    int m_version = 0;
    int m_typeFichier = 0;
    int m_tailleEnregistrement = 0;
    int m_tailleEntete = 0;
    int m_tailleBloc = 0;
    int m_nombreEnregistrements = 0;
    quint32 m_premierBloc = 0;
    std::vector<DescriptionChamp> m_champs;

    // The walk of the block chain.
    QByteArray m_tamponBloc;
    const uchar *m_fenetre = nullptr; // blocks read at once, from m_debutFenetre
    qint64 m_debutFenetre = 0;
    qint64 m_tailleFenetre = 0;
    const uchar *m_bloc = nullptr;
    int m_nombreDansBloc = 0;
    quint32 m_suivant = 0;
    qint64 m_restants = 0;
    std::vector<bool> m_vus; // blocks already walked: a chain that comes back loops

    // The last .MB block read: memos of neighbouring records share their blocks.
    mutable QByteArray m_tamponMb;
    mutable qint64 m_blocMbEnCache = -1;
    mutable const uchar *m_donneesBlocMb = nullptr;
    mutable QByteArray m_tamponMemo;
};

} // namespace paradox
