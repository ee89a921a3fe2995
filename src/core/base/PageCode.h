#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>

namespace paradox {

// A DOS/Windows code page of the tables, converted through iconv. Single-byte pages
// (the usual case) are turned into a 256-entry table once, so decoding a field costs
// no iconv call; multi-byte pages (932, 936, ...) go through iconv for each text.
class PageCode
{
public:
    // The page of that number; an unknown number or one that iconv does not know
    // gives windows-1252.
    static const PageCode &pour(int numero);
    static const PageCode &windows1252() { return pour(1252); }

    int numero() const { return m_numero; }
    bool simple() const { return m_simple; } // one byte, one character
    QString decoder(const char *octets, qsizetype taille) const;
    QString decoder(const QByteArray &octets) const { return decoder(octets.constData(), octets.size()); }
    // Characters the page cannot hold become '?', one per character (a surrogate pair is one).
    QByteArray encoder(const QString &texte) const;
    // The page holds this character (single-byte pages; a multi-byte page answers for ASCII only).
    bool contient(char16_t c) const { return c < 0x80 || m_inverse.contains(c); }

    explicit PageCode(int numero);

private:
    int m_numero = 1252;
    bool m_simple = true;
    QByteArray m_nomIconv;
    std::array<char16_t, 256> m_table{};
    QHash<char16_t, char> m_inverse;
    std::array<char, 256> m_depuisLatin1{}; // U+0080..U+00FF to its byte, 0 when absent: no hash per accent
};

} // namespace paradox
