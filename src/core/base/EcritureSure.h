#pragma once

#include <QFileDevice>
#include <QString>

class QSaveFile;

// How every whole-file write ends: in place, or not written at all with the system's
// reason, which the caller words for the user (or turns into its own failure).
class [[nodiscard]] ResultatEcriture
{
public:
    static ResultatEcriture reussite() { return ResultatEcriture(QString(), true); }
    static ResultatEcriture echec(QString raison) { return ResultatEcriture(std::move(raison), false); }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &raison() const { return m_raison; }

private:
    ResultatEcriture(QString raison, bool ok) : m_raison(std::move(raison)), m_ok(ok) {}

    QString m_raison;
    bool m_ok;
};

// Qt 6.4's QSaveFile takes a short write followed by an error for success and would rename a
// half file over a whole one: the size on disk is checked before the rename (which QSaveFile
// precedes with a sync). On failure the temporary file is discarded.
ResultatEcriture terminerEcriture(QSaveFile &f, qint64 attendu);

// Writes `octets` whole at `chemin` (temporary file, then rename); a new file gets
// `permissionsNouveau` when given.
ResultatEcriture ecrireEnEntier(const QString &chemin, const QByteArray &octets,
                                QFileDevice::Permissions permissionsNouveau = {});
