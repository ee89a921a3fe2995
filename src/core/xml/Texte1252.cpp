#include "core/xml/Texte1252.h"

namespace texte1252 {

const std::array<bool, 256> garderBas = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<size_t>(c)] = (c >= 0x20 && c < 0x80) || c >= 0xA0 || c == 0x09 || c == 0x0A || c == 0x0D;
    return t;
}();

namespace {

constexpr char16_t hauts[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

bool dans1252(char16_t c)
{
    if (c < 0x100)
        return false;
    for (char16_t h : hauts)
        if (h == c)
            return true;
    return false;
}

char octet(char16_t c)
{
    if (c < 0x100)
        return garderBas[c] ? static_cast<char>(c) : '?';
    for (int i = 0; i < 32; ++i)
        if (hauts[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

namespace {

bool nomXmlDebut(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u':'
        || (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C || c == 0x200D
        || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
        || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD);
}

bool nomXmlSuite(char16_t c)
{
    return nomXmlDebut(c) || c == u'-' || c == u'.' || (c >= u'0' && c <= u'9') || c == 0xB7
        || (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

} // namespace

bool nomXmlValide(const QString &nom)
{
    if (nom.isEmpty())
        return false;
    for (qsizetype i = 0; i < nom.size(); ++i) {
        const char16_t c = nom[i].unicode();
        const bool representable = c < 0x100 ? garderBas[c] : dans1252(c);
        if (!representable || !(i == 0 ? nomXmlDebut(c) : nomXmlSuite(c)))
            return false;
    }
    return true;
}

} // namespace texte1252
