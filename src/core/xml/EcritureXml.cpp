#include "core/xml/EcritureXml.h"

#include "core/base/EcritureSure.h"
#include "core/base/Erreurs.h"
#include "core/xml/Texte1252.h"

#include <QSaveFile>

#include <cstring>
#include <future>

namespace {

constexpr qsizetype tailleTampon = 1 << 20;
constexpr qsizetype seuilVidage = tailleTampon / 2;

// What XML needs escaped in an attribute value, as libxml2 writes it.
const char *echappement(char c)
{
    switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '\n': return "&#10;";
    case '\r': return "&#13;";
    case '\t': return "&#9;";
    default: return nullptr;
    }
}

const std::array<bool, 256> aEchapper = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = echappement(char(c)) != nullptr;
    return t;
}();

QByteArray nomVerifie(const QString &nom, const char *genre)
{
    if (!texte1252::nomXmlValide(nom))
        throw HalvenorError(QStringLiteral("Nom %1 XML incorrect : « %2 »").arg(QLatin1String(genre), nom));
    return versWindows1252(nom);
}

} // namespace

QByteArray versWindows1252(const QString &texte)
{
    QByteArray sortie(texte.size(), Qt::Uninitialized);
    qsizetype n = 0;
    const char16_t *s = reinterpret_cast<const char16_t *>(texte.constData());
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const char16_t c = s[i];
        // A surrogate pair is one character: one "?".
        if (QChar::isHighSurrogate(c) && i + 1 < texte.size() && QChar::isLowSurrogate(s[i + 1]))
            ++i;
        sortie[n++] = texte1252::octet(c);
    }
    sortie.truncate(n);
    return sortie;
}

EcritureXml::EcritureXml(const QString &chemin, const QString &racine)
    : m_chemin(chemin), m_fichier(std::make_unique<QSaveFile>(chemin))
{
    const QByteArray nomRacine = nomElement(racine);
    if (!m_fichier->open(QIODevice::WriteOnly))
        echec(m_fichier->errorString());
    m_tampon.resize(tailleTampon + 64);
    m_enVol.resize(tailleTampon + 64);
    static const char declaration[] = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n";
    std::memcpy(reserver(sizeof declaration - 1), declaration, sizeof declaration - 1);
    m_utilise += qsizetype(sizeof declaration - 1);
    ouvrir(nomRacine);
}

EcritureXml::~EcritureXml()
{
    if (m_ecriture.valid())
        m_ecriture.wait();
    if (m_fichier && m_fichier->isOpen())
        m_fichier->cancelWriting();
}

QByteArray EcritureXml::nomElement(const QString &nom)
{
    return nomVerifie(nom, "d'élément");
}

QByteArray EcritureXml::nomAttribut(const QString &nom)
{
    return nomVerifie(nom, "d'attribut");
}

void EcritureXml::echec(const QString &raison) const
{
    throw HalvenorError(QStringLiteral("Impossible d'enregistrer le fichier XML « ") + m_chemin
                        + QStringLiteral(" » : ") + raison);
}

// Room for `n` more bytes at the end of the buffer.
char *EcritureXml::reserver(qsizetype n)
{
    if (m_utilise + n > m_tampon.size()) {
        vider();
        if (n > m_tampon.size())
            m_tampon.resize(n);
    }
    return m_tampon.data() + m_utilise;
}

// The full buffer goes to the disk aside, while the other one fills: a write that the
// system holds back (much data not yet on disk) does not stop the caller.
void EcritureXml::vider()
{
    if (m_utilise == 0)
        return;
    if (!m_annulee && annulee(m_annulation))
        m_annulee = true;
    if (m_annulee) {
        // Cancelled: the rest is dropped, the temporary file goes with the writer.
        m_ecrits += m_utilise;
        m_utilise = 0;
        return;
    }
    attendreEcriture();
    std::swap(m_tampon, m_enVol);
    if (m_tampon.size() < m_enVol.size())
        m_tampon.resize(m_enVol.size());
    QSaveFile *f = m_fichier.get();
    const char *octets = m_enVol.constData();
    const qsizetype n = m_utilise;
    m_ecriture = std::async(std::launch::async, [f, octets, n] {
        return f->write(octets, n) == n ? QString() : f->errorString();
    });
    m_ecrits += m_utilise;
    m_utilise = 0;
}

void EcritureXml::attendreEcriture()
{
    if (!m_ecriture.valid())
        return;
    const QString raison = m_ecriture.get();
    if (!raison.isEmpty())
        echec(raison);
}

void EcritureXml::fermerBalise()
{
    if (m_baliseOuverte) {
        *reserver(1) = '>';
        ++m_utilise;
        m_baliseOuverte = false;
    }
}

void EcritureXml::ouvrir(const QByteArray &nom)
{
    fermerBalise();
    char *p = reserver(nom.size() + 1);
    *p = '<';
    std::memcpy(p + 1, nom.constData(), size_t(nom.size()));
    m_utilise += nom.size() + 1;
    m_ouverts.push_back(nom);
    m_baliseOuverte = true;
}

void EcritureXml::fermer()
{
    if (m_ouverts.empty())
        return;
    if (m_baliseOuverte) {
        char *p = reserver(2);
        p[0] = '/';
        p[1] = '>';
        m_utilise += 2;
        m_baliseOuverte = false;
    } else {
        const QByteArray &nom = m_ouverts.back();
        char *p = reserver(nom.size() + 3);
        p[0] = '<';
        p[1] = '/';
        std::memcpy(p + 2, nom.constData(), size_t(nom.size()));
        p[nom.size() + 2] = '>';
        m_utilise += nom.size() + 3;
    }
    m_ouverts.pop_back();
    if (m_utilise >= seuilVidage)
        vider();
}

void EcritureXml::debutAttribut(const QByteArray &nom)
{
    char *p = reserver(nom.size() + 3);
    p[0] = ' ';
    std::memcpy(p + 1, nom.constData(), size_t(nom.size()));
    p[nom.size() + 1] = '=';
    p[nom.size() + 2] = '"';
    m_utilise += nom.size() + 3;
}

void EcritureXml::attribut(const QByteArray &nom, const QString &valeur)
{
    const QByteArray octets = versWindows1252(valeur);
    static const std::array<char, 256> identite = [] {
        std::array<char, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[size_t(c)] = char(c);
        return t;
    }();
    attribut(nom, octets.constData(), octets.size(), identite);
}

void EcritureXml::attribut(const QByteArray &nom, const char *octets, qsizetype taille,
                           const std::array<char, 256> &traduction)
{
    if (!m_baliseOuverte)
        return;
    debutAttribut(nom);
    // At worst 6 bytes for one ("&quot;"), then the closing quote.
    char *p = reserver(taille * 6 + 1);
    char *const debut = p;
    const auto *s = reinterpret_cast<const uchar *>(octets);
    for (qsizetype i = 0; i < taille; ++i) {
        const char c = traduction[s[i]];
        if (!aEchapper[uchar(c)]) {
            *p++ = c;
        } else {
            const char *e = echappement(c);
            const size_t n = std::strlen(e);
            std::memcpy(p, e, n);
            p += n;
        }
    }
    *p++ = '"';
    m_utilise += p - debut;
}

void EcritureXml::attributAscii(const QByteArray &nom, const char *texte, qsizetype taille)
{
    if (!m_baliseOuverte)
        return;
    debutAttribut(nom);
    char *p = reserver(taille + 1);
    std::memcpy(p, texte, size_t(taille));
    p[taille] = '"';
    m_utilise += taille + 1;
}

bool EcritureXml::terminer()
{
    while (!m_ouverts.empty())
        fermer();
    *reserver(1) = '\n';
    ++m_utilise;
    vider();
    attendreEcriture();
    if (m_annulee || annulee(m_annulation)) {
        m_fichier->cancelWriting();
        m_fichier.reset(); // removes the temporary file now
        return false;
    }
    const ResultatEcriture resultat = terminerEcriture(*m_fichier, m_ecrits);
    if (!resultat.ok())
        echec(resultat.raison());
    return true;
}
