#include "core/xml/Texte1252.h"

#include "core/base/PageCode.h"

namespace texte1252 {

const std::array<bool, 256> garderBas = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<size_t>(c)] = (c >= 0x20 && c < 0x80) || c >= 0xA0 || c == 0x09 || c == 0x0A || c == 0x0D;
    return t;
}();

namespace {

// Bytes 0x80..0x9F as the one windows-1252 codec reads them; 0 for the five it leaves unassigned
// (they read as C1 controls, which XML files must not hold).
const std::array<char16_t, 32> &hauts()
{
    static const std::array<char16_t, 32> t = [] {
        std::array<char16_t, 32> r{};
        const paradox::PageCode &page = paradox::PageCode::windows1252();
        for (int i = 0; i < 32; ++i) {
            const char o = static_cast<char>(0x80 + i);
            const QString c = page.decoder(&o, 1);
            r[static_cast<size_t>(i)] = c.size() == 1 && c[0].unicode() >= 0x100 ? c[0].unicode() : 0;
        }
        return r;
    }();
    return t;
}

} // namespace

bool dans1252(char16_t c)
{
    if (c < 0x100)
        return false;
    for (char16_t h : hauts())
        if (h == c)
            return true;
    return false;
}

char octet(char16_t c)
{
    if (c < 0x100)
        return garderBas[c] ? static_cast<char>(c) : '?';
    for (int i = 0; i < 32; ++i)
        if (hauts()[static_cast<size_t>(i)] == c)
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
