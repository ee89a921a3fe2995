#include "ParadoxWriter.h"

#include "core/base/Erreurs.h"
#include "core/base/PageCode.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTime>

#include <cmath>
#include <cstring>

namespace paradox::test {

namespace {

constexpr qint64 decalageJulien = 1721425; // day 1 of the tables is 1 January of year 1
constexpr int tailleBlocMb = 4096;
constexpr int seuilSousAllocation = 2048;
constexpr int premiereUniteDonnees = 21; // 12-byte header + 64 entries of 5 bytes, in 16-byte units

void ecrireLe16(char *p, quint32 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
}

void ecrireLe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

void ecrireBe(char *p, quint64 v, int n)
{
    for (int i = 0; i < n; ++i)
        p[i] = char((v >> (8 * (n - 1 - i))) & 0xFF);
}

void ecrireEntier(char *p, qint64 v, int n)
{
    const quint64 masque = n == 8 ? ~quint64(0) : (quint64(1) << (8 * n)) - 1;
    const quint64 signe = quint64(1) << (8 * n - 1);
    ecrireBe(p, (quint64(v) & masque) ^ signe, n);
}

void ecrireDouble(char *p, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    if (bits & (quint64(1) << 63))
        bits = ~bits;
    else
        bits |= quint64(1) << 63;
    ecrireBe(p, bits, 8);
}

int tailleChamp(const Colonne &c)
{
    switch (c.type) {
    case TypeChamp::Alpha:
    case TypeChamp::Bytes:
        return c.taille;
    case TypeChamp::Short:
        return 2;
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
    case TypeChamp::Date:
    case TypeChamp::Time:
        return 4;
    case TypeChamp::Number:
    case TypeChamp::Currency:
    case TypeChamp::Timestamp:
        return 8;
    case TypeChamp::Logical:
        return 1;
    case TypeChamp::Bcd:
        return 17;
    case TypeChamp::Memo:
    case TypeChamp::Blob:
    case TypeChamp::FmtMemo:
    case TypeChamp::Ole:
    case TypeChamp::Graphic:
        return c.taille == 0 ? 11 : c.taille;
    }
    return 0;
}

quint8 codeType(TypeChamp t)
{
    switch (t) {
    case TypeChamp::Alpha: return 0x01;
    case TypeChamp::Date: return 0x02;
    case TypeChamp::Short: return 0x03;
    case TypeChamp::Long: return 0x04;
    case TypeChamp::Currency: return 0x05;
    case TypeChamp::Number: return 0x06;
    case TypeChamp::Logical: return 0x09;
    case TypeChamp::Memo: return 0x0C;
    case TypeChamp::Blob: return 0x0D;
    case TypeChamp::FmtMemo: return 0x0E;
    case TypeChamp::Ole: return 0x0F;
    case TypeChamp::Graphic: return 0x10;
    case TypeChamp::Time: return 0x14;
    case TypeChamp::Timestamp: return 0x15;
    case TypeChamp::AutoInc: return 0x16;
    case TypeChamp::Bcd: return 0x17;
    case TypeChamp::Bytes: return 0x18;
    }
    return 0;
}

bool estBlob(TypeChamp t)
{
    return t == TypeChamp::Memo || t == TypeChamp::Blob || t == TypeChamp::FmtMemo || t == TypeChamp::Ole
        || t == TypeChamp::Graphic;
}

// The .MB file being built: header block, sub-allocated blocks, single-blob blocks.
class FichierMemos
{
public:
    FichierMemos() : m_octets(tailleBlocMb, '\0')
    {
        char *h = m_octets.data();
        h[0] = 0;                     // header block
        ecrireLe16(h + 1, 1);         // one 4 KiB block
        ecrireLe16(h + 0x0B, 0x1000); // base size
        ecrireLe16(h + 0x0D, 0x1000); // sub-block size
        h[0x10] = 16;                 // sub-chunk size
        ecrireLe16(h + 0x11, 64);     // entries per sub-allocated block
        ecrireLe16(h + 0x13, seuilSousAllocation);
    }

    bool vide() const { return m_octets.size() == tailleBlocMb; }
    const QByteArray &octets() const { return m_octets; }

    // Stores the bytes and returns the 4-byte offset field of the record's pointer.
    quint32 stocker(const QByteArray &donnees, bool graphique, quint16 modification)
    {
        if (!graphique && donnees.size() < seuilSousAllocation)
            return sousAllouer(donnees, modification);
        // A graphic carries 8 more bytes before its data, counted in its length.
        const int entete = graphique ? 17 : 9;
        const qsizetype debut = m_octets.size();
        const qsizetype blocs = (entete + donnees.size() + tailleBlocMb - 1) / tailleBlocMb;
        m_octets.append(QByteArray(blocs * tailleBlocMb, '\0'));
        char *b = m_octets.data() + debut;
        b[0] = 2;
        ecrireLe16(b + 1, quint32(blocs));
        ecrireLe32(b + 3, quint32(donnees.size() + (graphique ? 8 : 0)));
        ecrireLe16(b + 7, modification);
        if (graphique)
            ecrireLe32(b + 13, quint32(donnees.size()));
        std::memcpy(b + entete, donnees.constData(), size_t(donnees.size()));
        return quint32(debut) | 0xFF;
    }

private:
    quint32 sousAllouer(const QByteArray &donnees, quint16 modification)
    {
        const int unites = int((donnees.size() + 15) / 16);
        if (m_sousBloc < 0 || m_index >= 64 || m_uniteLibre + unites > tailleBlocMb / 16) {
            m_sousBloc = m_octets.size();
            m_octets.append(QByteArray(tailleBlocMb, '\0'));
            char *b = m_octets.data() + m_sousBloc;
            b[0] = 3;
            ecrireLe16(b + 1, 1);
            m_index = 0;
            m_uniteLibre = premiereUniteDonnees;
        }
        char *b = m_octets.data() + m_sousBloc;
        char *entree = b + 12 + m_index * 5;
        entree[0] = char(m_uniteLibre);
        entree[1] = char(unites);
        ecrireLe16(entree + 2, modification);
        entree[4] = char(donnees.size() - (unites - 1) * 16);
        std::memcpy(b + m_uniteLibre * 16, donnees.constData(), size_t(donnees.size()));
        const quint32 resultat = quint32(m_sousBloc) | quint32(m_index);
        ++m_index;
        m_uniteLibre += unites;
        return resultat;
    }

    QByteArray m_octets;
    qsizetype m_sousBloc = -1;
    int m_index = 0;
    int m_uniteLibre = 0;
};

void ecrireBcd(char *p, const QString &texte, int decimales)
{
    QString s = texte.trimmed();
    const bool negatif = s.startsWith(u'-');
    if (negatif || s.startsWith(u'+'))
        s.remove(0, 1);
    s.replace(u',', u'.');
    QString entier = s.section(u'.', 0, 0);
    QString fraction = s.section(u'.', 1);
    fraction = fraction.left(decimales).leftJustified(decimales, u'0');
    const QString chiffres = entier + fraction; // right-aligned in 32 nibbles
    if (chiffres.size() > 32)
        throw HalvenorError(QStringLiteral("Valeur BCD trop longue : ") + texte);
    p[0] = char((negatif ? 0x00 : 0x80) | (decimales & 0x3F));
    const quint8 inversion = negatif ? 0x0F : 0x00;
    for (int q = 0; q < 32; ++q) {
        const int k = q - (32 - int(chiffres.size()));
        quint8 chiffre = k >= 0 ? quint8(chiffres.at(k).digitValue()) : 0;
        chiffre ^= inversion;
        char &octet = p[1 + q / 2];
        if (q % 2 == 0)
            octet = char((uchar(octet) & 0x0F) | (chiffre << 4));
        else
            octet = char((uchar(octet) & 0xF0) | chiffre);
    }
}

void ecrireFichier(const QString &chemin, const QByteArray &octets)
{
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly) || f.write(octets) != octets.size() || !f.commit())
        throw HalvenorError(QStringLiteral("Impossible d'écrire la table de test ") + chemin);
}

} // namespace

void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, const QList<QList<QVariant>> &lignes)
{
    ecrireTable(cheminDb, colonnes, lignes, OptionsTable());
}

void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, const QList<QList<QVariant>> &lignes,
                 const OptionsTable &options)
{
    ecrireTable(cheminDb, colonnes, lignes.size(), [&](qint64 i, QList<QVariant> &ligne) { ligne = lignes[i]; },
                options);
}

void ecrireTable(const QString &cheminDb, const QList<Colonne> &colonnes, qint64 nombre,
                 const std::function<void(qint64, QList<QVariant> &)> &ligneNumero, const OptionsTable &options)
{
    const bool etendu = options.version >= 5;
    const PageCode &page = PageCode::pour(etendu ? options.codePage : 1252);
    const int n = int(colonnes.size());
    std::vector<int> decalages;
    int tailleEnregistrement = 0;
    for (const Colonne &c : colonnes) {
        decalages.push_back(tailleEnregistrement);
        const int t = tailleChamp(c);
        if (t <= 0 || t > 255 || (estBlob(c.type) && t < 10))
            throw HalvenorError(QStringLiteral("Taille de champ incorrecte : ") + c.nom);
        tailleEnregistrement += t;
    }
    if (n == 0 || tailleEnregistrement > 32 * 1024 - 6)
        throw HalvenorError(QStringLiteral("Table de test sans champ ou trop large"));

    // Smallest block size that holds at least one record and keeps the block count in 16 bits.
    int kio = 2;
    int parBloc = 0;
    qint64 blocs = 0;
    for (; kio <= 32; kio *= 2) {
        parBloc = (kio * 1024 - 6) / tailleEnregistrement;
        if (parBloc == 0)
            continue;
        blocs = (nombre + parBloc - 1) / parBloc;
        if (blocs <= 65535)
            break;
    }
    if (kio > 32)
        throw HalvenorError(QStringLiteral("Table de test trop grande"));
    const int tailleBloc = kio * 1024;

    // Header: common part, data header, field descriptions, names.
    QByteArray nomTable = QFileInfo(cheminDb).fileName().toLatin1();
    QByteArray suite;
    for (const Colonne &c : colonnes) {
        suite.append(char(codeType(c.type)));
        suite.append(char(c.type == TypeChamp::Bcd ? c.taille : tailleChamp(c)));
    }
    suite.append(QByteArray(4 + 4 * n, '\0')); // table name and field name pointers
    const int longueurNomTable = options.version >= 12 ? 261 : 79;
    QByteArray nomFixe = nomTable.left(longueurNomTable - 1);
    nomFixe.append(QByteArray(longueurNomTable - nomFixe.size(), '\0'));
    suite.append(nomFixe);
    for (const Colonne &c : colonnes)
        suite.append(page.encoder(c.nom)).append('\0');
    for (int i = 0; i < n; ++i) {
        char numero[2];
        ecrireLe16(numero, quint32(i + 1));
        suite.append(numero, 2);
    }
    suite.append("ANSIINTL", 8).append('\0');
    const int base = etendu ? 0x78 : 0x58;
    const int tailleEntete = int((base + suite.size() + 0x7FF) / 0x800 * 0x800);

    QByteArray db(tailleEntete + blocs * tailleBloc, '\0');
    char *h = db.data();
    ecrireLe16(h + 0x00, quint32(tailleEnregistrement));
    ecrireLe16(h + 0x02, quint32(tailleEntete));
    h[0x04] = char(options.typeFichier);
    h[0x05] = char(kio);
    ecrireLe32(h + 0x06, quint32(nombre));
    ecrireLe16(h + 0x0A, quint32(blocs));
    ecrireLe16(h + 0x0C, quint32(blocs));
    ecrireLe16(h + 0x0E, blocs > 0 ? 1 : 0);
    ecrireLe16(h + 0x10, quint32(blocs));
    ecrireLe16(h + 0x21, quint32(n));
    // From Paradox 4 on, the real key is in the data header.
    ecrireLe32(h + 0x25, etendu ? 0xFF00FF00 : options.cleChiffrement);
    h[0x2D] = 2;
    h[0x2E] = 1;
    h[0x39] = char(options.version);
    ecrireLe16(h + 0x3A, quint32(blocs));
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    h[0x56] = 0x20;
    if (etendu) {
        ecrireLe16(h + 0x58, 0x0100 | quint32(options.version));
        ecrireLe16(h + 0x5A, 0x0100 | quint32(options.version));
        ecrireLe32(h + 0x5C, options.cleChiffrement);
        ecrireLe16(h + 0x64, quint32(n + 1));
        ecrireLe16(h + 0x68, quint32(n));
        ecrireLe16(h + 0x6A, quint32(options.codePage));
        h[0x6C] = 1;
        h[0x6D] = 1;
    }
    std::memcpy(h + base, suite.constData(), size_t(suite.size()));

    FichierMemos memos;
    QList<QVariant> ligne;
    qint64 autoInc = 0;
    quint16 modification = 0;
    for (qint64 b = 0; b < blocs; ++b) {
        char *bloc = h + tailleEntete + b * tailleBloc;
        const qint64 premier = b * parBloc;
        const int dans = int(std::min<qint64>(parBloc, nombre - premier));
        ecrireLe16(bloc, b + 1 < blocs ? quint32(b + 2) : 0);
        ecrireLe16(bloc + 2, quint32(b));
        ecrireLe16(bloc + 4, quint32((dans - 1) * tailleEnregistrement) & 0xFFFF);
        for (int r = 0; r < dans; ++r) {
            ligneNumero(premier + r, ligne);
            if (ligne.size() != n)
                throw HalvenorError(QStringLiteral("Ligne de test de largeur incorrecte"));
            char *enr = bloc + 6 + r * tailleEnregistrement;
            for (int i = 0; i < n; ++i) {
                const QVariant &v = ligne[i];
                if (!v.isValid() || v.isNull())
                    continue;
                const Colonne &c = colonnes[i];
                char *p = enr + decalages[size_t(i)];
                const int t = tailleChamp(c);
                switch (c.type) {
                case TypeChamp::Alpha: {
                    const QByteArray o = page.encoder(v.toString()).left(t);
                    std::memcpy(p, o.constData(), size_t(o.size()));
                    break;
                }
                case TypeChamp::Bytes: {
                    const QByteArray o = v.toByteArray().left(t);
                    std::memcpy(p, o.constData(), size_t(o.size()));
                    break;
                }
                case TypeChamp::Short:
                    ecrireEntier(p, v.toInt(), 2);
                    break;
                case TypeChamp::Long:
                    ecrireEntier(p, v.toInt(), 4);
                    break;
                case TypeChamp::AutoInc:
                    ecrireEntier(p, v.toInt(), 4);
                    autoInc = std::max<qint64>(autoInc, v.toInt());
                    break;
                case TypeChamp::Number:
                case TypeChamp::Currency:
                    ecrireDouble(p, v.toDouble());
                    break;
                case TypeChamp::Logical:
                    p[0] = char(v.toBool() ? 0x81 : 0x80);
                    break;
                case TypeChamp::Date:
                    ecrireEntier(p, v.toDate().toJulianDay() - decalageJulien, 4);
                    break;
                case TypeChamp::Time:
                    ecrireEntier(p, v.toTime().msecsSinceStartOfDay(), 4);
                    break;
                case TypeChamp::Timestamp: {
                    const QDateTime dt = v.toDateTime();
                    const double ms = double(dt.date().toJulianDay() - decalageJulien) * 86400000.0
                        + dt.time().msecsSinceStartOfDay();
                    ecrireDouble(p, ms);
                    break;
                }
                case TypeChamp::Bcd:
                    ecrireBcd(p, v.toString(), c.taille);
                    break;
                case TypeChamp::Memo:
                case TypeChamp::Blob:
                case TypeChamp::FmtMemo:
                case TypeChamp::Ole:
                case TypeChamp::Graphic: {
                    const QByteArray o = v.typeId() == QMetaType::QByteArray ? v.toByteArray()
                                                                              : page.encoder(v.toString());
                    if (o.isEmpty())
                        break;
                    const int tete = t - 10;
                    char *pointeur = p + tete;
                    std::memcpy(p, o.constData(), size_t(std::min<qsizetype>(tete, o.size())));
                    ++modification;
                    quint32 decalage = 0;
                    if (o.size() > tete || c.type == TypeChamp::Graphic)
                        decalage = memos.stocker(o, c.type == TypeChamp::Graphic, modification);
                    ecrireLe32(pointeur, decalage);
                    ecrireLe32(pointeur + 4, quint32(o.size() + (c.type == TypeChamp::Graphic ? 8 : 0)));
                    ecrireLe16(pointeur + 8, modification);
                    break;
                }
                }
            }
        }
    }
    ecrireLe32(h + 0x49, quint32(autoInc));

    ecrireFichier(cheminDb, db);
    QString cheminMb = cheminDb;
    const bool minuscules = cheminDb.endsWith(QStringLiteral(".db"));
    cheminMb.chop(cheminDb.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive) ? 3 : 0);
    cheminMb += minuscules ? QStringLiteral(".mb") : QStringLiteral(".MB");
    bool avecMemos = false;
    for (const Colonne &c : colonnes)
        avecMemos = avecMemos || estBlob(c.type);
    if (avecMemos)
        ecrireFichier(cheminMb, memos.octets());
    else
        QFile::remove(cheminMb);
}

} // namespace paradox::test
