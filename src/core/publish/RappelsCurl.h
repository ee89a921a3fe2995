#pragma once

// What the FTP and the SFTP clients share around libcurl: the listing buffer, the capped
// download into a cache file, the upload read, the cancellation check, command lists, and
// the texts of a local write failure and of a file over the size cap.

#include "core/base/Annulation.h"
#include "core/base/EcritureSure.h"
#include "core/publish/EchecFtp.h"
#include "core/publish/FtpClient.h"

#include <QByteArray>
#include <QFile>

#include <curl/curl.h>

namespace rappelscurl {

// A listing of 100,000 entries is about 7 MB: beyond this, the server is hostile or broken.
inline constexpr qsizetype TailleListeMax = 32 << 20;

struct Tampon
{
    QByteArray octets;
    bool depasse = false;
};

inline size_t ecrireTampon(char *donnees, size_t taille, size_t nombre, void *contexte)
{
    auto *tampon = static_cast<Tampon *>(contexte);
    if (tampon->octets.size() + qsizetype(taille * nombre) > TailleListeMax) {
        tampon->depasse = true;
        return 0; // curl stops the transfer
    }
    tampon->octets.append(donnees, static_cast<qsizetype>(taille * nombre));
    return taille * nombre;
}

struct Reception
{
    FichierCache *fichier = nullptr;
    qint64 tailleMax = 0; // 0: none
    qint64 recu = 0;
    bool depasse = false;
};

inline size_t ecrireFichier(char *donnees, size_t taille, size_t nombre, void *contexte)
{
    auto *r = static_cast<Reception *>(contexte);
    const auto n = static_cast<qint64>(taille * nombre);
    if (r->tailleMax > 0 && r->recu + n > r->tailleMax) {
        r->depasse = true;
        return 0;
    }
    if (!r->fichier->ecrire(donnees, n))
        return 0;
    r->recu += n;
    return taille * nombre;
}

inline size_t lireFichier(char *donnees, size_t taille, size_t nombre, void *fichier)
{
    const qint64 n = static_cast<QFile *>(fichier)->read(donnees, static_cast<qint64>(taille * nombre));
    return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

// libcurl calls this at each turn of its loop: a non-zero return aborts the transfer.
inline int progression(void *annulation, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return annulee(*static_cast<const Annulation *const *>(annulation)) ? 1 : 0;
}

// Commands sent around a transfer, freed with the list.
struct ListeCurl
{
    curl_slist *l = nullptr;
    ListeCurl() = default;
    ListeCurl(const ListeCurl &) = delete;
    ListeCurl &operator=(const ListeCurl &) = delete;
    ~ListeCurl() { curl_slist_free_all(l); }
    void ajouter(const QByteArray &ligne) { l = curl_slist_append(l, ligne.constData()); }
};

[[noreturn]] inline void echecLocal(const QString &chemin, const QString &raison)
{
    throw FtpError(EchecFtp{CauseFtp::EcritureLocale,
                            QStringLiteral("Impossible d'écrire le fichier ") + chemin + QStringLiteral(" : ") + raison,
                            {}});
}

inline EchecFtp echecTaille(const QByteArray &nomBrut, qint64 tailleMax)
{
    return {CauseFtp::Autre,
            QStringLiteral("Le fichier ") + texteServeur(nomBrut)
                + QStringLiteral(" dépasse la taille permise (%1 Mo) : il n'est pas téléchargé.").arg(tailleMax >> 20),
            {}};
}

} // namespace rappelscurl
