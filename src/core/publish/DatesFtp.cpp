#include "core/publish/FtpClient.h"

#include <QTimeZone>

#include <cstdlib>

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

qint64 decalageListe(const QDateTime &dateListe, const QDateTime &mdtmLocale)
{
    if (!dateListe.isValid() || !mdtmLocale.isValid())
        return 0;
    // The LIST fields as they were printed, read as if they were UTC.
    const QDateTime brute(dateListe.date(), dateListe.time(), QTimeZone::utc());
    const qint64 ecart = mdtmLocale.toUTC().secsTo(brute);
    constexpr qint64 quart = 15 * 60;
    const qint64 arrondi = ecart >= 0 ? (ecart + quart / 2) / quart : -((-ecart + quart / 2) / quart);
    return arrondi * quart;
}

QDateTime dateListeCorrigee(const QDateTime &dateListe, qint64 decalage)
{
    if (!dateListe.isValid())
        return {};
    return QDateTime(dateListe.date(), dateListe.time(), QTimeZone::utc()).addSecs(-decalage).toLocalTime();
}

bool dateCorrigeeIncertaine(const QDateTime &dateLocale, const QDate &limite)
{
    if (!dateLocale.isValid())
        return false;
    const QDateTime minuit(limite, QTime(0, 0));
    return std::abs(dateLocale.secsTo(minuit)) <= MargeListeSecondes;
}
