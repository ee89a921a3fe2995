#include "core/base/EcritureSure.h"

#include <QFileInfo>
#include <QSaveFile>

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
