#include "core/base/EcritureSure.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's umask, read without touching it: umask(2) reads it only by setting it, and
// in that moment whatever another thread creates would be world-writable. It never changes
// in these programs, so it is read once.
mode_t masqueCreation()
{
    static const mode_t masque = [] {
        QFile statut(QStringLiteral("/proc/self/status"));
        if (statut.open(QIODevice::ReadOnly)) {
            for (const QByteArray &ligne : statut.readAll().split('\n')) {
                bool ok = false;
                const uint m = ligne.startsWith("Umask:") ? ligne.mid(6).trimmed().toUInt(&ok, 8) : 0;
                if (ok)
                    return static_cast<mode_t>(m);
            }
        }
        const mode_t m = ::umask(022); // kernels before 4.7: no Umask line
        ::umask(m);
        return m;
    }();
    return masque;
}

} // namespace

ResultatEcriture terminerEcriture(QSaveFile &f, qint64 attendu)
{
    if (!f.flush() || f.size() != attendu || f.error() != QFileDevice::NoError) {
        const QString raison = f.error() != QFileDevice::NoError ? f.errorString()
                                                                  : QStringLiteral("écriture incomplète");
        f.cancelWriting();
        return ResultatEcriture::echec(raison);
    }
    if (!f.commit())
        return ResultatEcriture::echec(f.errorString());
    return ResultatEcriture::reussite();
}

ResultatEcriture ecrireEnEntier(const QString &chemin, const QByteArray &octets,
                                QFileDevice::Permissions permissionsNouveau)
{
    const bool nouveau = !QFileInfo::exists(chemin);
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return ResultatEcriture::echec(f.errorString());
    if (nouveau && permissionsNouveau)
        f.setPermissions(permissionsNouveau);
    if (f.write(octets) != octets.size()) {
        const QString raison = f.errorString();
        f.cancelWriting();
        return ResultatEcriture::echec(raison);
    }
    return terminerEcriture(f, octets.size());
}

namespace {
QString texteErrno(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}
} // namespace

FichierCache::FichierCache(QString chemin)
    : m_chemin(std::move(chemin))
{
}

FichierCache::~FichierCache()
{
    abandonner();
}

ResultatEcriture FichierCache::ouvrir()
{
    abandonner();
    m_erreur.clear();
    QByteArray modele = QFile::encodeName(QFileInfo(m_chemin).absolutePath() + QStringLiteral("/.telechargement-XXXXXX"));
    // mkstemp creates the name exclusively: nothing planted there is followed.
    m_fd = ::mkstemp(modele.data());
    if (m_fd < 0) {
        m_erreur = texteErrno(errno);
        return ResultatEcriture::echec(m_erreur);
    }
    m_temporaire = QFile::decodeName(modele);
    m_ecrits = 0;
    return ResultatEcriture::reussite();
}

bool FichierCache::ecrire(const char *octets, qint64 taille)
{
    while (m_fd >= 0 && taille > 0) {
        const ssize_t n = ::write(m_fd, octets, static_cast<size_t>(taille));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_erreur = n < 0 ? texteErrno(errno) : QStringLiteral("écriture incomplète");
            return false;
        }
        octets += n;
        taille -= n;
        m_ecrits += n;
    }
    return m_fd >= 0;
}

ResultatEcriture FichierCache::terminer()
{
    if (m_fd < 0)
        return ResultatEcriture::echec(m_erreur.isEmpty() ? QStringLiteral("fichier non ouvert") : m_erreur);
    const int fd = m_fd;
    m_fd = -1;
    struct stat etat {};
    if (::fstat(fd, &etat) != 0 || etat.st_size != m_ecrits) {
        m_erreur = QStringLiteral("écriture incomplète");
        ::close(fd);
        QFile::remove(m_temporaire);
        m_temporaire.clear();
        return ResultatEcriture::echec(m_erreur);
    }
    // Readable like any file the user writes; mkstemp's 0600 is for the time being written.
    ::fchmod(fd, 0666 & ~masqueCreation());
    if (::close(fd) != 0 || ::rename(QFile::encodeName(m_temporaire).constData(),
                                     QFile::encodeName(m_chemin).constData())
                                != 0) {
        m_erreur = texteErrno(errno);
        QFile::remove(m_temporaire);
        m_temporaire.clear();
        return ResultatEcriture::echec(m_erreur);
    }
    m_temporaire.clear();
    return ResultatEcriture::reussite();
}

void FichierCache::abandonner()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporaire.isEmpty())
        QFile::remove(m_temporaire);
    m_temporaire.clear();
}
