#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// French regional formats, kept in one place: short date dd/MM/yyyy,
// long time HH:mm:ss, decimal comma, no thousands separator.
namespace formats {

QString date(const QDate &d);              // 25/03/2013
QString heure(const QTime &t);             // 06:30:00
QString dateHeure(const QDateTime &dt);    // 25/03/2013 06:30:00, time left out at exactly midnight

// Floating-point in the general form with 15 significant digits:
// "12,5", "0,001", "1,5E-7", "1E20".
QString nombre(double v);

// The same texts as ASCII at `sortie`, without a QString, for the exports; each returns
// the length written. `sortie` holds 32 bytes at least.
int entierAscii(qint64 v, char *sortie);
int nombreAscii(double v, char *sortie);
int heureAscii(const QTime &t, char *sortie); // 0 for an invalid time, as heure() gives ""
// 0 for an invalid date, as date() gives ""; -1 outside years 1 to 9999: use date().
int dateAscii(const QDate &d, char *sortie);

// Strict decimal integer: an optional sign and digits, nothing else (no blanks, no "0x").
bool lireEntier(const QString &texte, int &valeur);

// Lenient regional reading of a date with an optional time: day/month/year with one- or
// two-digit day and month, a four-digit year or a two-digit year taken in a window of
// 50 years around `aujourdhui`, then optionally h:mm or h:mm:ss.
// Throws HalvenorError when the text is not a date.
QDateTime lireDateHeure(const QString &texte, const QDate &aujourdhui);

} // namespace formats
