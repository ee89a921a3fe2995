#include "core/base/PageCode.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

namespace paradox {

namespace {

QByteArray nomIconv(int numero)
{
    return "CP" + QByteArray::number(numero);
}

bool iconvConnait(const QByteArray &nom)
{
    iconv_t cd = iconv_open("UTF-32LE", nom.constData());
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}

// Converts with iconv; bytes the page does not define are kept as Latin-1.
QString convertirIconv(const QByteArray &nom, const char *octets, qsizetype taille)
{
    iconv_t cd = iconv_open("UTF-16LE", nom.constData());
    if (cd == iconv_t(-1))
        return QString::fromLatin1(octets, taille);
    QString resultat;
    QByteArray sortie(taille * 4 + 8, Qt::Uninitialized);
    char *entree = const_cast<char *>(octets);
    size_t resteEntree = size_t(taille);
    while (resteEntree > 0) {
        char *dst = sortie.data();
        size_t resteSortie = size_t(sortie.size());
        const size_t r = iconv(cd, &entree, &resteEntree, &dst, &resteSortie);
        const qsizetype produit = qsizetype(dst - sortie.data()) / 2;
        resultat.append(reinterpret_cast<const QChar *>(sortie.constData()), produit);
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // Undefined or truncated sequence: keep the byte as it is and go on.
            resultat.append(QChar(char16_t(uchar(*entree))));
            ++entree;
            --resteEntree;
        }
    }
    iconv_close(cd);
    return resultat;
}

} // namespace

PageCode::PageCode(int numero)
{
    QByteArray nom = nomIconv(numero);
    if (numero <= 0 || !iconvConnait(nom)) {
        numero = 1252;
        nom = nomIconv(1252);
    }
    m_numero = numero;
    m_nomIconv = nom;

    for (int i = 0; i < 128; ++i)
        m_table[size_t(i)] = char16_t(i);
    iconv_t cd = iconv_open("UTF-32LE", nom.constData());
    for (int i = 128; i < 256; ++i) {
        m_table[size_t(i)] = char16_t(i);
        if (cd == iconv_t(-1))
            continue;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char octet = char(i);
        char *entree = &octet;
        size_t resteEntree = 1;
        char32_t point = 0;
        char *dst = reinterpret_cast<char *>(&point);
        size_t resteSortie = sizeof point;
        const size_t r = iconv(cd, &entree, &resteEntree, &dst, &resteSortie);
        if (r == size_t(-1) && errno == EINVAL) {
            m_simple = false; // a lead byte of a multi-byte page
        } else if (r != size_t(-1) && resteSortie == 0 && point <= 0xFFFF) {
            m_table[size_t(i)] = char16_t(point);
        }
    }
    if (cd != iconv_t(-1))
        iconv_close(cd);
    if (m_simple) {
        for (int i = 255; i >= 0; --i) {
            m_inverse.insert(m_table[size_t(i)], char(i));
            if (m_table[size_t(i)] >= 0x80 && m_table[size_t(i)] < 0x100)
                m_depuisLatin1[m_table[size_t(i)]] = char(i);
        }
    }
}

const PageCode &PageCode::pour(int numero)
{
    static std::mutex verrou;
    static std::map<int, std::unique_ptr<PageCode>> pages;
    std::lock_guard garde(verrou);
    auto &p = pages[numero];
    if (!p)
        p = std::make_unique<PageCode>(numero);
    return *p;
}

QString PageCode::decoder(const char *octets, qsizetype taille) const
{
    const auto *p = reinterpret_cast<const uchar *>(octets);
    // Most text is ASCII: Qt's vectorised scan and widening, not a loop of ours.
    if (QtPrivate::isAscii(QLatin1StringView(octets, taille)))
        return QString::fromLatin1(octets, taille);
    if (!m_simple)
        return convertirIconv(m_nomIconv, octets, taille);
    QString s(taille, Qt::Uninitialized);
    auto *d = reinterpret_cast<char16_t *>(s.data());
    for (qsizetype i = 0; i < taille; ++i)
        d[i] = m_table[p[i]];
    return s;
}

QByteArray PageCode::encoder(const QString &texte) const
{
    if (m_simple) {
        if (QtPrivate::isAscii(QStringView(texte)))
            return texte.toLatin1();
        const qsizetype n = texte.size();
        const char16_t *source = reinterpret_cast<const char16_t *>(texte.constData());
        QByteArray sortie(n, Qt::Uninitialized);
        char *d = sortie.data();
        qsizetype j = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = source[i];
            if (c < 0x80) {
                d[j++] = char(c);
            } else if (c < 0x100) {
                d[j++] = m_depuisLatin1[c] ? m_depuisLatin1[c] : '?';
            } else {
                if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(source[i + 1]))
                    ++i;
                d[j++] = m_inverse.value(c, '?');
            }
        }
        sortie.truncate(j);
        return sortie;
    }
    iconv_t cd = iconv_open(QByteArray(m_nomIconv + "//TRANSLIT").constData(), "UTF-16LE");
    if (cd == iconv_t(-1))
        return texte.toLatin1();
    QByteArray entreeOctets(reinterpret_cast<const char *>(texte.utf16()), texte.size() * 2);
    QByteArray sortie(texte.size() * 4 + 8, Qt::Uninitialized);
    char *entree = entreeOctets.data();
    size_t resteEntree = size_t(entreeOctets.size());
    char *dst = sortie.data();
    size_t resteSortie = size_t(sortie.size());
    while (resteEntree > 0) {
        if (iconv(cd, &entree, &resteEntree, &dst, &resteSortie) == size_t(-1)) {
            if (resteSortie == 0 || resteEntree < 2)
                break;
            *dst++ = '?';
            --resteSortie;
            entree += 2;
            resteEntree -= 2;
        }
    }
    iconv_close(cd);
    sortie.truncate(qsizetype(dst - sortie.data()));
    return sortie;
}

} // namespace paradox
