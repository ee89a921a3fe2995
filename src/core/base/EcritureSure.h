#pragma once

#include <QFileDevice>
#include <QString>

class QSaveFile;

// Qt 6.4's QSaveFile takes a short write followed by an error for success and would rename a
// half file over a whole one: the size on disk is checked before the rename.
// Returns an empty text on success, else the reason; the temporary file is then discarded.
QString terminerEcriture(QSaveFile &f, qint64 attendu);

// Writes `octets` whole at `chemin` (temporary file, then rename); a new file gets
// `permissionsNouveau` when given. Returns an empty text on success, else the reason.
QString ecrireEnEntier(const QString &chemin, const QByteArray &octets,
                       QFileDevice::Permissions permissionsNouveau = {});

// A cache file written whole under a temporary name in its folder, then renamed over the
// target without a sync: the next run fetches it again anyway. The rename replaces a link in
// the way instead of writing through it. Unfinished, the temporary file goes.
class FichierCache
{
public:
    explicit FichierCache(QString chemin);
    ~FichierCache();
    FichierCache(const FichierCache &) = delete;
    FichierCache &operator=(const FichierCache &) = delete;

    bool ouvrir();                              // false: see erreur()
    bool ecrire(const char *octets, qint64 taille);
    bool terminer();                            // checks, closes and renames; false: see erreur()
    void abandonner();
    const QString &erreur() const { return m_erreur; }

private:
    QString m_chemin;
    QString m_temporaire;
    int m_fd = -1;
    qint64 m_ecrits = 0;
    QString m_erreur;
};
