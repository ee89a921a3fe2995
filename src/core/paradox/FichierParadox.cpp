#include "core/paradox/FichierParadox.h"

#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "core/base/PageCode.h"
#include "core/paradox/Chiffrement.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <atomic>
#include <cmath>
#include <cstring>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace paradox {

namespace {

constexpr qint64 decalageJulien = 1721425; // day 1 of the tables is 1 January of year 1
constexpr qint64 msParJour = 86400000;
constexpr int tailleBlocMb = 4096;
constexpr qint64 tailleFenetre = 256 * 1024; // blocks of the .DB read at once

inline quint32 le16(const uchar *p) { return quint32(p[0]) | quint32(p[1]) << 8; }
inline quint32 le32(const uchar *p) { return le16(p) | le16(p + 2) << 16; }
inline quint32 be16(const uchar *p) { return quint32(p[0]) << 8 | quint32(p[1]); }
inline quint32 be32(const uchar *p) { return be16(p) << 16 | be16(p + 2); }
inline quint64 be64(const uchar *p) { return quint64(be32(p)) << 32 | be32(p + 4); }

bool toutZero(const uchar *p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

// Numbers keep their sign bit flipped so that they sort as bytes: positive values have the
// top bit set, negative ones are stored with every bit inverted.
double lireDouble(const uchar *p)
{
    quint64 bits = be64(p);
    if (bits & (quint64(1) << 63))
        bits &= ~(quint64(1) << 63);
    else
        bits = ~bits;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

qint32 lireLong(const uchar *p) { return qint32(be32(p) ^ 0x80000000u); }
qint16 lireShort(const uchar *p) { return qint16(be16(p) ^ 0x8000u); }

QDate lireDate(const uchar *p)
{
    return QDate::fromJulianDay(qint64(lireLong(p)) + decalageJulien);
}

QTime lireHeure(const uchar *p)
{
    const qint32 ms = lireLong(p);
    if (ms < 0 || ms >= msParJour)
        return {};
    return QTime::fromMSecsSinceStartOfDay(ms);
}

// Milliseconds since the start of day 0 (31 December of year 0).
bool lireHorodatage(const uchar *p, QDate &date, QTime &heure)
{
    const double ms = lireDouble(p);
    if (!std::isfinite(ms) || std::fabs(ms) > 1e17)
        return false;
    const double jours = std::floor(ms / double(msParJour));
    qint64 reste = std::max<qint64>(0, std::llround(ms - jours * double(msParJour)));
    qint64 j = qint64(jours);
    if (reste >= msParJour) {
        reste -= msParJour;
        ++j;
    }
    date = QDate::fromJulianDay(j + decalageJulien);
    heure = QTime::fromMSecsSinceStartOfDay(int(reste));
    return date.isValid();
}

bool estBlob(TypeChamp t)
{
    return t == TypeChamp::Memo || t == TypeChamp::Blob || t == TypeChamp::FmtMemo || t == TypeChamp::Ole
        || t == TypeChamp::Graphic;
}

bool typeConnu(int code, TypeChamp &type)
{
    switch (code) {
    case 0x01: type = TypeChamp::Alpha; return true;
    case 0x02: type = TypeChamp::Date; return true;
    case 0x03: type = TypeChamp::Short; return true;
    case 0x04: type = TypeChamp::Long; return true;
    case 0x05: type = TypeChamp::Currency; return true;
    case 0x06: type = TypeChamp::Number; return true;
    case 0x09: type = TypeChamp::Logical; return true;
    case 0x0C: type = TypeChamp::Memo; return true;
    case 0x0D: type = TypeChamp::Blob; return true;
    case 0x0E: type = TypeChamp::FmtMemo; return true;
    case 0x0F: type = TypeChamp::Ole; return true;
    case 0x10: type = TypeChamp::Graphic; return true;
    case 0x14: type = TypeChamp::Time; return true;
    case 0x15: type = TypeChamp::Timestamp; return true;
    case 0x16: type = TypeChamp::AutoInc; return true;
    case 0x17: type = TypeChamp::Bcd; return true;
    case 0x18: type = TypeChamp::Bytes; return true;
    default: return false;
    }
}

// The size each fixed-size type must have in the record (0: given by the header).
int tailleFixe(TypeChamp t)
{
    switch (t) {
    case TypeChamp::Short: return 2;
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
    case TypeChamp::Date:
    case TypeChamp::Time: return 4;
    case TypeChamp::Number:
    case TypeChamp::Currency:
    case TypeChamp::Timestamp: return 8;
    case TypeChamp::Logical: return 1;
    case TypeChamp::Bcd: return 17;
    default: return 0;
    }
}

QString guillemets(const QString &s)
{
    return QStringLiteral("« ") + s + QStringLiteral(" »");
}

// Every read is checked: a file that shrank or whose share dropped gives a short read or
// an error, where a mapping would give SIGBUS.
class SourceFichier final : public SourceOctets
{
public:
    explicit SourceFichier(const QString &chemin) : m_fichier(chemin) {}

    bool ouvrir()
    {
        if (!m_fichier.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            m_raison = m_fichier.errorString();
            return false;
        }
        m_taille = m_fichier.size();
        return true;
    }

    const uchar *lire(qint64 position, qint64 n, QByteArray &tampon) override
    {
        if (n <= 0)
            return reinterpret_cast<const uchar *>(tampon.constData());
        if (tampon.size() < n)
            tampon.resize(qsizetype(n));
        if (!m_fichier.seek(position)) {
            m_raison = m_fichier.errorString();
            return nullptr;
        }
        qint64 lus = 0;
        while (lus < n) {
            const qint64 r = m_fichier.read(tampon.data() + lus, n - lus);
            if (r < 0) {
                m_raison = m_fichier.errorString();
                return nullptr;
            }
            if (r == 0) {
                m_raison = QStringLiteral("le fichier a été raccourci pendant la lecture (")
                           + QString::number(position + lus) + QStringLiteral(" octets au lieu d'au moins ")
                           + QString::number(position + n) + u')';
                return nullptr;
            }
            lus += r;
        }
        return reinterpret_cast<const uchar *>(tampon.constData());
    }

private:
    QFile m_fichier;
};

class SourceMemoire final : public SourceOctets
{
public:
    explicit SourceMemoire(QByteArray octets) : m_octets(std::move(octets)) { m_taille = m_octets.size(); }

    const uchar *lire(qint64 position, qint64 n, QByteArray &) override
    {
        if (position < 0 || n < 0 || position + n > m_taille) {
            m_raison = QStringLiteral("lecture hors des données");
            return nullptr;
        }
        return reinterpret_cast<const uchar *>(m_octets.constData()) + position;
    }

private:
    QByteArray m_octets;
};

} // namespace

QString trouverSansCasse(const QString &repertoire, const QString &nom)
{
    QDir dir(repertoire);
    if (dir.exists(nom))
        return dir.filePath(nom);
    const QStringList entrees = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &e : entrees)
        if (e.compare(nom, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return {};
}

namespace {

std::unique_ptr<SourceOctets> ouvrirTable(const QString &cheminDb)
{
    auto db = std::make_unique<SourceFichier>(cheminDb);
    if (!db->ouvrir())
        throw HalvenorError(QStringLiteral("Impossible d'ouvrir la table ") + guillemets(cheminDb)
                            + QStringLiteral(" : ") + db->raison());
    return db;
}

// The .MB beside the .DB; none when there is no such file or it cannot be opened.
std::unique_ptr<SourceOctets> ouvrirMemos(const QString &cheminDb, QString &cheminMb)
{
    const QString mb = cheminMemosDe(cheminDb);
    if (mb.isEmpty())
        return nullptr;
    auto f = std::make_unique<SourceFichier>(mb);
    if (!f->ouvrir())
        return nullptr;
    cheminMb = mb;
    return f;
}

qint64 nanosecondes(const timespec &t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Adds a file's state; returns when it last changed (ns since the epoch, 0 for none).
qint64 ajouterEtat(QByteArray &empreinte, const QString &chemin)
{
    struct stat etat {};
    if (chemin.isEmpty() || ::stat(QFile::encodeName(chemin).constData(), &etat) != 0) {
        empreinte.append('-');
        return 0;
    }
    const qint64 valeurs[] = {qint64(etat.st_dev), qint64(etat.st_ino), qint64(etat.st_size),
                              qint64(etat.st_mtim.tv_sec), qint64(etat.st_mtim.tv_nsec),
                              qint64(etat.st_ctim.tv_sec), qint64(etat.st_ctim.tv_nsec)};
    empreinte.append(reinterpret_cast<const char *>(valeurs), sizeof valeurs);
    return std::max(nanosecondes(etat.st_mtim), nanosecondes(etat.st_ctim));
}

} // namespace

QString cheminMemosDe(const QString &cheminDb)
{
    const QFileInfo info(cheminDb);
    return trouverSansCasse(info.absolutePath(), info.completeBaseName() + QStringLiteral(".MB"));
}

QByteArray empreinteTable(const QString &cheminDb, const QString &cheminMb, bool avantLecture)
{
    // A writer that stops halfway through a rewrite leaves a file that reads as a table,
    // and file times move by clock ticks: a table is read only once it has been left alone
    // for a moment. One still written after a while matches no other state, so that the
    // read is done again (or refused).
    constexpr qint64 calme = 100'000'000;      // ns
    constexpr qint64 attenteMax = 500'000'000; // ns
    QByteArray e;
    QByteArray precedent;
    timespec t {};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    const qint64 debut = nanosecondes(t);
    for (;;) {
        e.clear();
        const qint64 change = std::max(ajouterEtat(e, cheminDb), ajouterEtat(e, cheminMb));
        if (!avantLecture)
            break;
        ::clock_gettime(CLOCK_REALTIME, &t);
        const qint64 depuis = nanosecondes(t) - change;
        // Times ahead of our clock (a share whose server runs ahead) say nothing: the files
        // are left alone when a second look, a moment later, finds them as they were.
        if (depuis >= calme || (depuis < 0 && e == precedent))
            break;
        ::clock_gettime(CLOCK_MONOTONIC, &t);
        if (nanosecondes(t) - debut >= attenteMax) {
            static std::atomic<qint64> jamaisEgal{0};
            const qint64 n = ++jamaisEgal;
            e.append('?').append(reinterpret_cast<const char *>(&n), sizeof n);
            break;
        }
        precedent = e;
        ::usleep(useconds_t(depuis < 0 ? calme / 1000 : std::clamp<qint64>((calme - depuis) / 1000, 1000, 20000)));
    }
    // The header's counters, which the format's engine moves on every change.
    QFile f(cheminDb);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return e;
    const QByteArray h = f.read(0x78);
    e.append(h.mid(0x06, 12)); // records, next, file, first and last blocks
    e.append(h.mid(0x2D, 2));  // change counters
    if (h.size() >= 0x78 && uchar(h[0x39]) >= 5) {
        e.append(h.mid(0x60, 4)); // time of the last update
        e.append(h.mid(0x70, 2)); // change counter
    }
    return e;
}

FichierParadox::FichierParadox(const QString &cheminDb, const MotsDePasse &motsDePasse)
    : FichierParadox(cheminDb, ouvrirTable(cheminDb), nullptr, motsDePasse)
{
    m_sourceMb = ouvrirMemos(cheminDb, m_cheminMb);
    m_tailleMb = m_sourceMb ? m_sourceMb->taille() : 0;
}

std::unique_ptr<FichierParadox> FichierParadox::depuisMemoire(const QString &nom, QByteArray db, QByteArray mb,
                                                             const MotsDePasse &motsDePasse)
{
    std::unique_ptr<SourceOctets> memos;
    if (!mb.isEmpty())
        memos = std::make_unique<SourceMemoire>(std::move(mb));
    std::unique_ptr<FichierParadox> f(
        new FichierParadox(nom, std::make_unique<SourceMemoire>(std::move(db)), std::move(memos), motsDePasse));
    if (f->m_sourceMb) {
        const QFileInfo info(nom);
        f->m_cheminMb = info.path() + u'/' + info.completeBaseName() + QStringLiteral(".MB");
        f->m_tailleMb = f->m_sourceMb->taille();
    }
    return f;
}

FichierParadox::FichierParadox(const QString &nom, std::unique_ptr<SourceOctets> db, std::unique_ptr<SourceOctets> mb,
                               const MotsDePasse &motsDePasse)
    : m_chemin(nom), m_sourceDb(std::move(db)), m_sourceMb(std::move(mb))
{
    m_tailleDb = m_sourceDb->taille();
    if (m_tailleDb < 0x58)
        endommage(QStringLiteral("le fichier est trop court pour une table Paradox"));
    lireEntete(motsDePasse);
}

FichierParadox::~FichierParadox() = default;

int FichierParadox::codePage() const
{
    return m_page->numero();
}

void FichierParadox::endommage(const QString &detail) const
{
    throw HalvenorError(QStringLiteral("La table ") + guillemets(m_chemin) + QStringLiteral(" est endommagée : ")
                        + detail + u'.');
}

void FichierParadox::illisible(const SourceOctets &source, const QString &fichier) const
{
    throw HalvenorError(QStringLiteral("Impossible de lire ") + guillemets(fichier) + QStringLiteral(" : ")
                        + source.raison() + u'.');
}

void FichierParadox::memosEndommages(const DescriptionChamp &d, const QString &detail) const
{
    QString fichier = m_cheminMb;
    if (fichier.isEmpty()) {
        const QFileInfo info(m_chemin);
        fichier = info.absolutePath() + u'/' + info.completeBaseName() + QStringLiteral(".MB");
    }
    throw HalvenorError(QStringLiteral("Le fichier de mémos ") + guillemets(fichier)
                        + QStringLiteral(" est endommagé (champ ") + guillemets(d.nom) + QStringLiteral(") : ")
                        + detail + u'.');
}

// The password is never put in a message: only the table's file name is.
void FichierParadox::verifierMotDePasse(const MotsDePasse &motsDePasse) const
{
    if (motsDePasse.cleAcceptee == m_cle)
        return;
    // Typed on Windows: in windows-1252, or else in the table's own code page.
    const auto convient = [this](const QString &mdp) {
        return cleDeMotDePasse(PageCode::windows1252().encoder(mdp)) == m_cle
               || (m_page->numero() != 1252 && cleDeMotDePasse(m_page->encoder(mdp)) == m_cle);
    };
    for (const QString &mdp : motsDePasse.connus)
        if (convient(mdp))
            return;
    const QString fichier = motsDePasse.nomTable.isEmpty() ? QFileInfo(m_chemin).fileName() : motsDePasse.nomTable;
    if (motsDePasse.demander) {
        bool faux = false;
        while (const std::optional<QString> mdp = motsDePasse.demander(fichier, faux)) {
            if (convient(*mdp))
                return;
            faux = true;
        }
        throw MotDePasseRefuse(QStringLiteral("La table ") + fichier
                               + QStringLiteral(" est protégée par un mot de passe : lecture abandonnée."));
    }
    throw MotDePasseRefuse(QStringLiteral("La table ") + fichier
                           + QStringLiteral(" est protégée par un mot de passe : le mot de passe (MotDePasse dans "
                                            "Alias.ini) est absent ou faux."));
}

void FichierParadox::lireEntete(const MotsDePasse &motsDePasse)
{
    QByteArray tampon;
    const uchar *h = m_sourceDb->lire(0, std::min<qint64>(m_tailleDb, 0x78), tampon);
    if (!h)
        illisible(*m_sourceDb, m_chemin);
    m_version = h[0x39];
    m_typeFichier = h[0x04];
    if (m_version < 3 || m_version > 12)
        throw HalvenorError(QStringLiteral("La table ") + guillemets(m_chemin)
                            + QStringLiteral(" n'est pas une table Paradox lisible (version de fichier ")
                            + QString::number(m_version) + QStringLiteral(" inconnue)."));
    if (m_typeFichier != 0 && m_typeFichier != 2)
        throw HalvenorError(QStringLiteral("Le fichier ") + guillemets(m_chemin)
                            + QStringLiteral(" n'est pas une table de données Paradox (type de fichier ")
                            + QString::number(m_typeFichier) + QStringLiteral(")."));

    // Paradox 4 and later carry a second header part: code page and the real encryption key.
    const bool etendu = m_version >= 5;
    const int base = etendu ? 0x78 : 0x58;
    if (m_tailleDb < base)
        endommage(QStringLiteral("l'en-tête est tronqué"));
    quint32 cle = le32(h + 0x25);
    if (cle == 0xFF00FF00u)
        cle = etendu ? le32(h + 0x5C) : 0;
    m_page = &PageCode::pour(etendu ? int(le16(h + 0x6A)) : 0);
    m_cle = cle;
    if (m_cle != 0) {
        verifierMotDePasse(motsDePasse);
        m_dechiffrement = std::make_unique<Dechiffrement>(m_cle);
    }

    m_tailleEnregistrement = int(le16(h + 0x00));
    m_tailleEntete = int(le16(h + 0x02));
    const int kio = h[0x05];
    const qint64 nombre = qint64(le32(h + 0x06));
    const int nbChamps = int(le16(h + 0x21));
    if (kio < 1 || kio > 32)
        endommage(QStringLiteral("taille de bloc inconnue (") + QString::number(kio) + QStringLiteral(" Kio)"));
    m_tailleBloc = kio * 1024;
    if (m_tailleEntete < base || m_tailleEntete > m_tailleDb)
        endommage(QStringLiteral("taille d'en-tête incorrecte (") + QString::number(m_tailleEntete)
                  + QStringLiteral(" octets)"));
    m_premierBloc = le16(h + 0x0E);
    h = m_sourceDb->lire(0, m_tailleEntete, tampon);
    if (!h)
        illisible(*m_sourceDb, m_chemin);
    if (m_tailleEnregistrement <= 0 || m_tailleEnregistrement > m_tailleBloc - 6)
        endommage(QStringLiteral("taille d'enregistrement incorrecte (") + QString::number(m_tailleEnregistrement)
                  + QStringLiteral(" octets)"));
    if (nombre > 0x7FFFFFFF)
        endommage(QStringLiteral("nombre d'enregistrements incorrect"));
    m_nombreEnregistrements = int(nombre);
    if (nbChamps <= 0 || base + qint64(nbChamps) * 2 > m_tailleEntete)
        endommage(QStringLiteral("nombre de champs incorrect (") + QString::number(nbChamps) + u')');

    int decalage = 0;
    m_champs.resize(size_t(nbChamps));
    for (int i = 0; i < nbChamps; ++i) {
        DescriptionChamp &d = m_champs[size_t(i)];
        const int code = h[base + 2 * i];
        const int taille = h[base + 2 * i + 1];
        if (!typeConnu(code, d.type))
            endommage(QStringLiteral("type inconnu (") + QString::number(code) + QStringLiteral(") pour le champ n° ")
                      + QString::number(i + 1));
        if (d.type == TypeChamp::Bcd) {
            d.decimales = taille;
            d.taille = 17;
            if (taille > 32)
                endommage(QStringLiteral("champ BCD n° ") + QString::number(i + 1) + QStringLiteral(" incorrect"));
        } else {
            d.taille = taille;
            const int attendue = tailleFixe(d.type);
            if (taille == 0 || (attendue && taille != attendue) || (estBlob(d.type) && taille < 10))
                endommage(QStringLiteral("taille incorrecte pour le champ n° ") + QString::number(i + 1));
        }
        d.decalage = decalage;
        decalage += d.taille;
    }
    if (decalage != m_tailleEnregistrement)
        endommage(QStringLiteral("les champs ne remplissent pas l'enregistrement (") + QString::number(decalage)
                  + QStringLiteral(" octets pour ") + QString::number(m_tailleEnregistrement) + u')');

    // Then: table name pointer, field name pointers, the table name, the field names.
    const qint64 longueurNomTable = m_version >= 12 ? 261 : 79;
    qint64 pos = base + qint64(nbChamps) * 2 + 4 + qint64(nbChamps) * 4 + longueurNomTable;
    for (int i = 0; i < nbChamps; ++i) {
        const qint64 debut = pos;
        while (pos < m_tailleEntete && h[pos] != 0)
            ++pos;
        if (pos >= m_tailleEntete)
            endommage(QStringLiteral("les noms des champs dépassent l'en-tête"));
        m_champs[size_t(i)].nom = m_page->decoder(reinterpret_cast<const char *>(h + debut), pos - debut);
        ++pos;
    }
}

bool FichierParadox::premierBloc()
{
    m_bloc = nullptr;
    m_fenetre = nullptr; // read again: the walk starts afresh
    m_nombreDansBloc = 0;
    m_restants = m_nombreEnregistrements;
    m_suivant = m_premierBloc;
    const qint64 blocsDansFichier = (m_tailleDb - m_tailleEntete) / m_tailleBloc;
    m_vus.assign(size_t(blocsDansFichier) + 1, false);
    return blocSuivant();
}

bool FichierParadox::blocSuivant()
{
    while (m_restants > 0) {
        if (chargerBloc(m_suivant))
            return true;
    }
    m_bloc = nullptr;
    m_nombreDansBloc = 0;
    return false;
}

// Reads block `numero` of the chain; false when it holds no record to give.
bool FichierParadox::chargerBloc(quint32 numero)
{
    if (numero == 0)
        endommage(QStringLiteral("la chaîne des blocs s'arrête après ")
                  + QString::number(m_nombreEnregistrements - m_restants) + QStringLiteral(" enregistrements sur ")
                  + QString::number(m_nombreEnregistrements));
    if (qint64(numero) >= qint64(m_vus.size()))
        endommage(QStringLiteral("le bloc ") + QString::number(numero) + QStringLiteral(" est hors du fichier"));
    if (m_vus[numero])
        endommage(QStringLiteral("la chaîne des blocs boucle sur le bloc ") + QString::number(numero));
    m_vus[numero] = true;
    const qint64 debut = m_tailleEntete + qint64(numero - 1) * m_tailleBloc;
    // Blocks follow each other in most files: one read brings the next ones too.
    if (!m_fenetre || debut < m_debutFenetre || debut + m_tailleBloc > m_debutFenetre + m_tailleFenetre) {
        m_fenetre = nullptr;
        const qint64 taille = std::max<qint64>(m_tailleBloc, std::min<qint64>(tailleFenetre, m_tailleDb - debut));
        const uchar *f = m_sourceDb->lire(debut, taille, m_tamponBloc);
        if (!f)
            illisible(*m_sourceDb, m_chemin);
        m_fenetre = f;
        m_debutFenetre = debut;
        m_tailleFenetre = taille;
    }
    const uchar *b = m_fenetre + (debut - m_debutFenetre);
    if (m_dechiffrement) {
        if (m_blocClair.size() < m_tailleBloc)
            m_blocClair.resize(m_tailleBloc);
        auto *clair = reinterpret_cast<uchar *>(m_blocClair.data());
        m_dechiffrement->blocDb(b, clair, m_tailleBloc, numero);
        b = clair;
    }
    const int maxParBloc = (m_tailleBloc - 6) / m_tailleEnregistrement;
    const int ajout = qint16(le16(b + 4));
    // addDataSize is the offset of the block's last record; an empty block holds -recordSize.
    const int nombre = ajout >= 0 ? ajout / m_tailleEnregistrement + 1 : (ajout == -m_tailleEnregistrement ? 0 : -1);
    if (nombre < 0 || nombre > maxParBloc)
        endommage(QStringLiteral("le bloc ") + QString::number(numero)
                  + QStringLiteral(" annonce un nombre d'enregistrements impossible"));
    const int pris = int(std::min<qint64>(nombre, m_restants));
    m_restants -= pris;
    m_suivant = le16(b);
    m_bloc = b;
    m_nombreDansBloc = pris;
    return pris > 0;
}

int FichierParadox::indexChamp(const QString &nom) const
{
    for (size_t i = 0; i < m_champs.size(); ++i)
        if (m_champs[i].nom.compare(nom, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

bool FichierParadox::estNul(const uchar *enr, int champ) const
{
    const DescriptionChamp &d = m_champs[size_t(champ)];
    const uchar *p = enr + d.decalage;
    switch (d.type) {
    case TypeChamp::Alpha:
        return p[0] == 0;
    case TypeChamp::Memo:
    case TypeChamp::Blob:
    case TypeChamp::FmtMemo:
    case TypeChamp::Ole:
    case TypeChamp::Graphic: {
        const quint32 longueur = le32(p + d.taille - 6);
        if (d.type == TypeChamp::Graphic)
            return longueur <= 8;
        return longueur == 0;
    }
    default:
        return toutZero(p, d.taille);
    }
}

QByteArray FichierParadox::octetsBlob(const uchar *enr, int champ) const
{
    const auto [octets, taille] = vueBlob(enr, champ);
    return QByteArray(octets, taille);
}

// `n` bytes of the .MB at `position`. Reads within one 4 KiB block are served from the
// last block read, so the memos of a run of records cost one read per block.
const uchar *FichierParadox::lireMb(qint64 position, qint64 n, const DescriptionChamp &d) const
{
    if (position < 0 || n < 0 || position + n > m_tailleMb)
        memosEndommages(d, QStringLiteral("mémo hors du fichier"));
    const qint64 bloc = position & ~qint64(tailleBlocMb - 1);
    if (position + n <= bloc + tailleBlocMb) {
        if (bloc != m_blocMbEnCache) {
            m_blocMbEnCache = -1;
            const qint64 taille = std::min<qint64>(tailleBlocMb, m_tailleMb - bloc);
            m_donneesBlocMb = lireMbClair(bloc, taille, m_tamponMb);
            m_blocMbEnCache = bloc;
        }
        return m_donneesBlocMb + (position - bloc);
    }
    if (!m_dechiffrement)
        return lireMbClair(position, n, m_tamponMemo);
    // Deciphered by whole chunks of 256 bytes.
    const qint64 debut = position & ~qint64(255);
    const qint64 fin = std::min<qint64>((position + n + 255) & ~qint64(255), m_tailleMb);
    return lireMbClair(debut, fin - debut, m_tamponMemo) + (position - debut);
}

// `n` bytes of the .MB at `position` (a multiple of 256 when the table is protected),
// deciphered.
const uchar *FichierParadox::lireMbClair(qint64 position, qint64 n, QByteArray &tampon) const
{
    const uchar *p = m_sourceMb->lire(position, n, tampon);
    if (!p)
        illisible(*m_sourceMb, m_cheminMb);
    if (!m_dechiffrement)
        return p;
    if (p != reinterpret_cast<const uchar *>(tampon.constData())) { // straight from memory
        if (tampon.size() < n)
            tampon.resize(qsizetype(n));
        std::memcpy(tampon.data(), p, size_t(n));
    }
    auto *clair = reinterpret_cast<uchar *>(tampon.data());
    m_dechiffrement->octetsMb(clair, n);
    return clair;
}

std::pair<const char *, qsizetype> FichierParadox::vueBlob(const uchar *enr, int champ) const
{
    const DescriptionChamp &d = m_champs[size_t(champ)];
    if (!estBlob(d.type) || estNul(enr, champ))
        return {nullptr, 0};
    const uchar *p = enr + d.decalage;
    const int tete = d.taille - 10;
    const uchar *pointeur = p + tete;
    const quint32 decalage = le32(pointeur);
    const quint32 longueur = le32(pointeur + 4);
    const quint32 index = decalage & 0xFF;
    const qint64 bloc = decalage & 0xFFFFFF00u;
    const bool graphique = d.type == TypeChamp::Graphic;

    if (bloc == 0) { // held entirely in the record
        if (longueur > quint32(tete))
            memosEndommages(d, QStringLiteral("longueur de mémo incorrecte dans l'enregistrement"));
        return {reinterpret_cast<const char *>(p), qsizetype(longueur)};
    }
    if (!m_sourceMb || m_tailleMb == 0) {
        if (m_cheminMb.isEmpty()) {
            const QFileInfo info(m_chemin);
            throw HalvenorError(QStringLiteral("Le fichier de mémos ")
                                + guillemets(info.completeBaseName() + QStringLiteral(".MB"))
                                + QStringLiteral(" de la table ") + guillemets(m_chemin)
                                + QStringLiteral(" est introuvable (champ ") + guillemets(d.nom) + QStringLiteral(")."));
        }
        memosEndommages(d, QStringLiteral("le fichier est vide"));
    }
    if (bloc + 12 > m_tailleMb)
        memosEndommages(d, QStringLiteral("bloc hors du fichier"));
    const uchar *b = lireMb(bloc, 12, d);
    qint64 debut = 0;
    qint64 taille = longueur;
    if (b[0] == 2) { // a block of its own
        if (index != 0xFF)
            memosEndommages(d, QStringLiteral("index incorrect pour un bloc de mémo unique"));
        if (le32(b + 3) != longueur)
            memosEndommages(d, QStringLiteral("la longueur du bloc ne correspond pas à celle de l'enregistrement"));
        debut = bloc + 9;
    } else if (b[0] == 3) { // sub-allocated: up to 64 entries of 16-byte units
        if (bloc + 12 + 64 * 5 > m_tailleMb)
            memosEndommages(d, QStringLiteral("bloc de sous-allocation tronqué"));
        if (index >= 64)
            memosEndommages(d, QStringLiteral("index de sous-allocation incorrect"));
        const uchar *entree = lireMb(bloc + 12 + index * 5, 5, d);
        const int unites = entree[1];
        const int complement = entree[4];
        const int premiereUnite = entree[0];
        if (premiereUnite == 0 || unites == 0 || complement < 1 || complement > 16
            || quint32((unites - 1) * 16 + complement) != longueur)
            memosEndommages(d, QStringLiteral("entrée de sous-allocation incorrecte"));
        debut = bloc + qint64(premiereUnite) * 16;
        if (premiereUnite * 16 + taille > tailleBlocMb)
            memosEndommages(d, QStringLiteral("mémo plus long que son bloc"));
    } else {
        memosEndommages(d, QStringLiteral("le mémo désigne un bloc de type ") + QString::number(b[0]));
    }
    // A graphic carries 8 more bytes before its data.
    if (graphique) {
        debut += 8;
        taille -= 8;
    }
    if (taille < 0 || debut + taille > m_tailleMb)
        memosEndommages(d, QStringLiteral("mémo hors du fichier"));
    return {reinterpret_cast<const char *>(lireMb(debut, taille, d)), qsizetype(taille)};
}

QString FichierParadox::texteBcd(const uchar *p, int decimales, QChar separateur, bool zerosRetires) const
{
    const bool negatif = !(p[0] & 0x80);
    const uchar inversion = negatif ? 0x0F : 0x00;
    QString entier;
    QString fraction;
    for (int q = 0; q < 32; ++q) {
        const uchar octet = p[1 + q / 2];
        uchar chiffre = ((q % 2 == 0) ? (octet >> 4) : (octet & 0x0F)) ^ inversion;
        if (chiffre > 9)
            chiffre = 9; // not a decimal digit: damaged, keep the text readable
        const QChar c(u'0' + chiffre);
        if (q < 32 - decimales) {
            if (!entier.isEmpty() || chiffre != 0)
                entier += c;
        } else {
            fraction += c;
        }
    }
    if (entier.isEmpty())
        entier = QStringLiteral("0");
    if (zerosRetires) {
        while (fraction.endsWith(u'0'))
            fraction.chop(1);
    }
    QString s = entier;
    if (!fraction.isEmpty())
        s += separateur + fraction;
    bool zero = true;
    for (QChar c : s)
        zero = zero && (c == u'0' || c == separateur);
    return negatif && !zero ? u'-' + s : s;
}

QVariant FichierParadox::valeur(const uchar *enr, int champ) const
{
    if (estNul(enr, champ))
        return {};
    const DescriptionChamp &d = m_champs[size_t(champ)];
    const uchar *p = enr + d.decalage;
    switch (d.type) {
    case TypeChamp::Alpha: {
        const void *fin = std::memchr(p, 0, size_t(d.taille));
        const qsizetype n = fin ? static_cast<const uchar *>(fin) - p : d.taille;
        return m_page->decoder(reinterpret_cast<const char *>(p), n);
    }
    case TypeChamp::Short:
        return qlonglong(lireShort(p));
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
        return qlonglong(lireLong(p));
    case TypeChamp::Number:
    case TypeChamp::Currency:
        return lireDouble(p);
    case TypeChamp::Logical:
        return (p[0] & 0x7F) != 0;
    case TypeChamp::Date:
        return lireDate(p);
    case TypeChamp::Time:
        return lireHeure(p);
    case TypeChamp::Timestamp: {
        QDate date;
        QTime heure;
        if (!lireHorodatage(p, date, heure))
            return QDateTime();
        return QDateTime(date, heure);
    }
    case TypeChamp::Bcd:
        return texteBcd(p, d.decimales, u'.', false);
    case TypeChamp::Memo:
    case TypeChamp::FmtMemo: {
        const QByteArray o = octetsBlob(enr, champ);
        return m_page->decoder(o);
    }
    case TypeChamp::Blob:
    case TypeChamp::Ole:
    case TypeChamp::Graphic:
        return octetsBlob(enr, champ);
    case TypeChamp::Bytes:
        return QByteArray(reinterpret_cast<const char *>(p), d.taille);
    }
    return {};
}

QString FichierParadox::texte(const uchar *enr, int champ) const
{
    if (estNul(enr, champ))
        return {};
    const DescriptionChamp &d = m_champs[size_t(champ)];
    const uchar *p = enr + d.decalage;
    switch (d.type) {
    case TypeChamp::Alpha:
    case TypeChamp::Memo:
    case TypeChamp::FmtMemo:
        return valeur(enr, champ).toString();
    case TypeChamp::Short:
        return QString::number(lireShort(p));
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
        return QString::number(lireLong(p));
    case TypeChamp::Number:
    case TypeChamp::Currency:
        return formats::nombre(lireDouble(p));
    case TypeChamp::Logical:
        return (p[0] & 0x7F) ? QStringLiteral("True") : QStringLiteral("False");
    case TypeChamp::Date:
        return formats::date(lireDate(p));
    case TypeChamp::Time:
        return formats::heure(lireHeure(p));
    case TypeChamp::Timestamp: {
        QDate date;
        QTime heure;
        if (!lireHorodatage(p, date, heure))
            return {};
        // In UTC, so that no local clock change can move the stored time.
        return formats::dateHeure(QDateTime(date, heure, Qt::UTC));
    }
    case TypeChamp::Bcd:
        return texteBcd(p, d.decimales, u',', true);
    case TypeChamp::Blob:
    case TypeChamp::Ole:
    case TypeChamp::Graphic:
        return PageCode::windows1252().decoder(octetsBlob(enr, champ));
    case TypeChamp::Bytes:
        return PageCode::windows1252().decoder(reinterpret_cast<const char *>(p), d.taille);
    }
    return {};
}

qsizetype FichierParadox::texteSansConversion(const uchar *enr, int champ, char *sortie,
                                               std::pair<const char *, qsizetype> &octets,
                                               const PageCode *&page) const
{
    const DescriptionChamp &d = m_champs[size_t(champ)];
    const uchar *p = enr + d.decalage;
    switch (d.type) {
    case TypeChamp::Alpha: {
        const void *fin = std::memchr(p, 0, size_t(d.taille));
        octets = {reinterpret_cast<const char *>(p), fin ? static_cast<const uchar *>(fin) - p : d.taille};
        page = m_page;
        return -1;
    }
    case TypeChamp::Memo:
    case TypeChamp::FmtMemo:
        octets = vueBlob(enr, champ);
        page = m_page;
        return -1;
    case TypeChamp::Blob:
    case TypeChamp::Ole:
    case TypeChamp::Graphic:
        octets = vueBlob(enr, champ);
        page = &PageCode::windows1252();
        return -1;
    case TypeChamp::Bytes:
        octets = {reinterpret_cast<const char *>(p), d.taille};
        page = &PageCode::windows1252();
        return -1;
    case TypeChamp::Short:
        return formats::entierAscii(lireShort(p), sortie);
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
        return formats::entierAscii(lireLong(p), sortie);
    case TypeChamp::Number:
    case TypeChamp::Currency:
        return formats::nombreAscii(lireDouble(p), sortie);
    case TypeChamp::Logical:
        if (p[0] & 0x7F) {
            std::memcpy(sortie, "True", 4);
            return 4;
        }
        std::memcpy(sortie, "False", 5);
        return 5;
    case TypeChamp::Date:
        return formats::dateAscii(lireDate(p), sortie);
    case TypeChamp::Time:
        return formats::heureAscii(lireHeure(p), sortie);
    case TypeChamp::Timestamp: {
        QDate date;
        QTime heure;
        if (!lireHorodatage(p, date, heure))
            return 0;
        const qsizetype n = formats::dateAscii(date, sortie);
        if (n < 0 || heure.msecsSinceStartOfDay() == 0)
            return n;
        sortie[n] = ' ';
        return n + 1 + formats::heureAscii(heure, sortie + n + 1);
    }
    case TypeChamp::Bcd:
        return -2;
    }
    return -2;
}

int FichierParadox::entier(const uchar *enr, int champ) const
{
    if (estNul(enr, champ))
        return 0;
    const DescriptionChamp &d = m_champs[size_t(champ)];
    const uchar *p = enr + d.decalage;
    const auto borne = [](double v) {
        if (!std::isfinite(v))
            return 0;
        v = std::nearbyint(v); // rounds half to even, as the original Round did
        if (v >= 2147483647.0)
            return 2147483647;
        if (v <= -2147483648.0)
            return int(-2147483647 - 1);
        return int(v);
    };
    switch (d.type) {
    case TypeChamp::Short:
        return lireShort(p);
    case TypeChamp::Long:
    case TypeChamp::AutoInc:
        return lireLong(p);
    case TypeChamp::Number:
    case TypeChamp::Currency:
        return borne(lireDouble(p));
    case TypeChamp::Logical:
        return (p[0] & 0x7F) ? 1 : 0;
    case TypeChamp::Bcd:
        return borne(texteBcd(p, d.decimales, u'.', false).toDouble());
    case TypeChamp::Alpha:
    case TypeChamp::Memo:
    case TypeChamp::FmtMemo: {
        bool ok = false;
        const int v = valeur(enr, champ).toString().trimmed().toInt(&ok);
        return ok ? v : 0;
    }
    case TypeChamp::Time:
        return lireLong(p);
    default:
        return 0;
    }
}

} // namespace paradox
