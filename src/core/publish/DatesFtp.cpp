#include "core/publish/FtpClient.h"

#include <QTimeZone>

QDateTime dateUtcFtp(const QByteArray &valeur)
{
    if (valeur.size() < 14)
        return {};
    for (int i = 0; i < 14; ++i) {
        if (valeur[i] < '0' || valeur[i] > '9')
            return {};
    }
    const auto nombre = [&](int debut, int taille) { return valeur.mid(debut, taille).toInt(); };
    const QDate jour(nombre(0, 4), nombre(4, 2), nombre(6, 2));
    const QTime heure(nombre(8, 2), nombre(10, 2), nombre(12, 2));
    if (!jour.isValid() || !heure.isValid())
        return {};
    // Built in UTC directly: read as local time first, the hour skipped by the spring change
    // would not exist.
    return QDateTime(jour, heure, QTimeZone::utc()).toLocalTime();
}

QDateTime dateMdtm(const QByteArray &reponse)
{
    if (!reponse.startsWith("213 "))
        return {};
    return dateUtcFtp(reponse.mid(4).trimmed());
}

bool dateListeIncertaine(const QDateTime &dateListe, const QDate &limite)
{
    if (!dateListe.isValid())
        return false;
    const qint64 ecart = limite.daysTo(dateListe.date());
    return ecart >= -1 && ecart <= 1;
}
