#pragma once

#include "core/paradox/Table.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace paradox {

class PageCode;

// The path of `nom` inside `repertoire`, matched without regard to letter case
// (the tables come from Windows); empty when there is none.
QString trouverSansCasse(const QString &repertoire, const QString &nom);

struct DescriptionChamp
{
    QString nom;
    TypeChamp type = TypeChamp::Alpha;
    int taille = 0;    // bytes in the record
    int decalage = 0;  // offset in the record
    int decimales = 0; // BCD: digits after the decimal point
};

// A .DB file (and its .MB) mapped read-only. The header is checked and the block chain
// walked when it is opened; a field is decoded only when it is read. Every offset and
// length taken from the files is checked against their size: a damaged file gives a
// HalvenorError naming it, never a read outside the mapping.
class FichierParadox
{
public:
    explicit FichierParadox(const QString &cheminDb);
    ~FichierParadox();
    FichierParadox(const FichierParadox &) = delete;
    FichierParadox &operator=(const FichierParadox &) = delete;

    const QString &chemin() const { return m_chemin; }
    const QString &cheminMemos() const { return m_cheminMb; } // empty when there is no .MB
    int version() const { return m_version; }                // file version id, 3..12
    int typeFichier() const { return m_typeFichier; }        // 0 indexed, 2 not indexed
    int codePage() const;
    int tailleEnregistrement() const { return m_tailleEnregistrement; }
    int tailleBloc() const { return m_tailleBloc; }
    int nombreEnregistrements() const { return m_nombreEnregistrements; }
    const std::vector<DescriptionChamp> &champs() const { return m_champs; }
    int indexChamp(const QString &nom) const; // letter case ignored; -1 when absent

    // The records, in the order of the block chain.
    int nombreBlocs() const { return int(m_blocs.size()); }
    int enregistrementsDansBloc(int bloc) const { return m_blocs[size_t(bloc)].nombre; }
    const uchar *enregistrement(int bloc, int rang) const
    {
        return m_db + m_blocs[size_t(bloc)].debut + 6 + qint64(rang) * m_tailleEnregistrement;
    }

    // Field `champ` of the record that starts at `enr`.
    bool estNul(const uchar *enr, int champ) const;
    QVariant valeur(const uchar *enr, int champ) const; // see Champ::valeur
    QString texte(const uchar *enr, int champ) const;   // see Champ::asString
    int entier(const uchar *enr, int champ) const;      // see Champ::asInteger
    // The bytes of a memo or binary field, from the record or the .MB.
    QByteArray octetsBlob(const uchar *enr, int champ) const;

private:
    struct Bloc
    {
        qint64 debut; // offset in the file
        int nombre;   // records used
    };

    [[noreturn]] void endommage(const QString &detail) const;
    [[noreturn]] void memosEndommages(const DescriptionChamp &d, const QString &detail) const;
    void lireEntete();
    void parcourirBlocs();
    QString texteBcd(const uchar *p, int decimales, QChar separateur, bool zerosRetires) const;

    QString m_chemin;
    QString m_cheminMb;
    std::unique_ptr<QFile> m_fichierDb;
    std::unique_ptr<QFile> m_fichierMb;
    QByteArray m_copieDb; // only when the file could not be mapped
    QByteArray m_copieMb;
    const uchar *m_db = nullptr;
    qint64 m_tailleDb = 0;
    const uchar *m_mb = nullptr;
    qint64 m_tailleMb = 0;
    const PageCode *m_page = nullptr;

    int m_version = 0;
    int m_typeFichier = 0;
    int m_tailleEnregistrement = 0;
    int m_tailleEntete = 0;
    int m_tailleBloc = 0;
    int m_nombreEnregistrements = 0;
    std::vector<DescriptionChamp> m_champs;
    std::vector<Bloc> m_blocs;
};

} // namespace paradox
