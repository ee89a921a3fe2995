#include "core/base/EcritureSure.h"

#include <QFileInfo>
#include <QSaveFile>

QString terminerEcriture(QSaveFile &f, qint64 attendu)
{
    if (!f.flush() || f.size() != attendu || f.error() != QFileDevice::NoError) {
        const QString raison = f.error() != QFileDevice::NoError ? f.errorString()
                                                                  : QStringLiteral("écriture incomplète");
        f.cancelWriting();
        return raison;
    }
    if (!f.commit())
        return f.errorString();
    return {};
}

QString ecrireEnEntier(const QString &chemin, const QByteArray &octets, QFileDevice::Permissions permissionsNouveau)
{
    const bool nouveau = !QFileInfo::exists(chemin);
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    if (nouveau && permissionsNouveau)
        f.setPermissions(permissionsNouveau);
    if (f.write(octets) != octets.size()) {
        const QString raison = f.errorString();
        f.cancelWriting();
        return raison;
    }
    return terminerEcriture(f, octets.size());
}
