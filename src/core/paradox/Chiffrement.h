#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace paradox {

// The key a password gives, as a protected table keeps it in its header (0 for an empty
// password, which protects nothing). The password is in the bytes of its code page.
quint32 cleDeMotDePasse(const QByteArray &motDePasse);

// Decryption of a protected table. The header stays in clear; each block of the .DB and
// the whole .MB are enciphered by 256-byte chunks, with parameters drawn from the key
// (its two low bytes), the chunk's rank in its block and the block's number.
class Dechiffrement
{
public:
    explicit Dechiffrement(quint32 cle);
    quint32 cle() const { return m_cle; }

    // `taille` bytes (a multiple of 256) of .DB block `numero` (1 for the first one), from
    // `source` into `cible`, which must not overlap it.
    void blocDb(const uchar *source, uchar *cible, qint64 taille, quint32 numero) const;
    // Chunks of the .MB, in place: `taille` is a multiple of 256.
    void octetsMb(uchar *octets, qint64 taille) const;

private:
    quint32 m_cle;
    uchar m_a;
    uchar m_b;
    // The .MB's chunks all use the same parameters: where each byte comes from, and what
    // it is combined with.
    std::array<uchar, 256> m_origineMb;
    std::array<uchar, 256> m_masqueMb;
};

} // namespace paradox
