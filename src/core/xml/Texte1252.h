#pragma once

#include <QString>

#include <array>

// What the XML files may hold: windows-1252 characters that XML 1.0 accepts.
namespace texte1252 {

// For code units below 0x100: true when kept as is.
extern const std::array<bool, 256> garderBas;
// The 27 characters above U+00FF that windows-1252 holds (bytes 0x80..0x9F).
bool dans1252(char16_t c);
// The windows-1252 byte that a code unit is written as in a file; '?' for any other.
char octet(char16_t c);
// An XML 1.0 name (fifth edition, what the parser accepts) made only of windows-1252 characters.
bool nomXmlValide(const QString &nom);

} // namespace texte1252
