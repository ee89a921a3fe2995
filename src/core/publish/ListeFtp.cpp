#include "core/publish/FtpClient.h"

#include "core/base/PageCode.h"

#include <QByteArrayList>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>

QString texteServeur(const QByteArray &octets)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString texte = utf8(octets);
    if (!utf8.hasError())
        return texte;
    return paradox::PageCode::windows1252().decoder(octets);
}

namespace {

QByteArrayList lignes(const QByteArray &texte)
{
    QByteArrayList resultat;
    for (QByteArray ligne : texte.split('\n')) {
        if (ligne.endsWith('\r'))
            ligne.chop(1);
        if (!ligne.trimmed().isEmpty())
            resultat << ligne;
    }
    return resultat;
}

// "20240325063000" or "20240325063000.123", always UTC.
QDateTime dateMlsd(const QByteArray &valeur)
{
    if (valeur.size() < 14)
        return {};
    QDateTime t = QDateTime::fromString(QString::fromLatin1(valeur.left(14)), QStringLiteral("yyyyMMddHHmmss"));
    if (!t.isValid())
        return {};
    t.setTimeZone(QTimeZone::utc());
    return t.toLocalTime();
}

int mois(const QString &nom)
{
    static const QStringList noms{QStringLiteral("jan"), QStringLiteral("feb"), QStringLiteral("mar"),
                                  QStringLiteral("apr"), QStringLiteral("may"), QStringLiteral("jun"),
                                  QStringLiteral("jul"), QStringLiteral("aug"), QStringLiteral("sep"),
                                  QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec")};
    return static_cast<int>(noms.indexOf(nom.toLower())) + 1;
}

} // namespace

QList<FtpEntree> analyserMlsd(const QByteArray &texte)
{
    QList<FtpEntree> entrees;
    for (const QByteArray &ligne : lignes(texte)) {
        // Facts up to the first space; everything after it is the name, spaces included.
        const qsizetype espace = ligne.indexOf(' ');
        if (espace < 0)
            continue;
        FtpEntree e;
        e.nom = texteServeur(ligne.mid(espace + 1));
        if (e.nom.isEmpty())
            continue;
        bool ignorer = false;
        for (const QByteArray &fait : ligne.left(espace).split(';')) {
            const qsizetype egal = fait.indexOf('=');
            if (egal < 0)
                continue;
            const QByteArray nom = fait.left(egal).toLower();
            const QByteArray valeur = fait.mid(egal + 1);
            if (nom == "type") {
                const QByteArray type = valeur.toLower();
                if (type == "cdir" || type == "pdir")
                    ignorer = true;
                else if (type == "file")
                    e.type = FtpEntree::Type::Fichier;
                else if (type == "dir")
                    e.type = FtpEntree::Type::Repertoire;
                else
                    e.type = FtpEntree::Type::Autre; // OS.unix=symlink, slink, devices...
            } else if (nom == "modify") {
                e.modification = dateMlsd(valeur);
            }
        }
        if (!ignorer)
            entrees << e;
    }
    return entrees;
}

QList<FtpEntree> analyserList(const QByteArray &texte, const QDateTime &maintenant)
{
    // -rw-r--r--   1 owner group   1234 Mar 25 06:30 name  (or "Mar 25  2013"); group may be missing.
    static const QRegularExpression unixHeure(QStringLiteral(
        R"(^([-dlbcps])\S*\s+.*?\d+\s+([A-Za-z]{3})\s+(\d{1,2})\s+(\d{1,2}):(\d{2}) (.*)$)"));
    static const QRegularExpression unixAnnee(QStringLiteral(
        R"(^([-dlbcps])\S*\s+.*?\d+\s+([A-Za-z]{3})\s+(\d{1,2})\s+(\d{4}) (.*)$)"));
    // 03-25-13  06:30AM       <DIR>          Historique
    static const QRegularExpression dos(QStringLiteral(
        R"(^(\d{2})-(\d{2})-(\d{2}|\d{4})\s+(\d{1,2}):(\d{2})\s*([AaPp][Mm])?\s+(<DIR>|[\d,]+)\s+(.*)$)"));

    QList<FtpEntree> entrees;
    for (const QByteArray &octets : lignes(texte)) {
        const QString ligne = texteServeur(octets);
        FtpEntree e;
        if (const auto m = unixHeure.match(ligne); m.hasMatch()) {
            // No year: this year, unless that lies in the future (a day's slack for the server's time zone).
            const QTime heure(m.captured(4).toInt(), m.captured(5).toInt());
            QDateTime t(QDate(maintenant.date().year(), mois(m.captured(2)), m.captured(3).toInt()), heure);
            if (t.isValid() && t > maintenant.addDays(1))
                t = QDateTime(QDate(maintenant.date().year() - 1, mois(m.captured(2)), m.captured(3).toInt()), heure);
            e.modification = t.isValid() ? t : QDateTime();
            e.nom = m.captured(6);
            e.type = m.captured(1) == u"-" ? FtpEntree::Type::Fichier
                   : m.captured(1) == u"d" ? FtpEntree::Type::Repertoire
                                           : FtpEntree::Type::Autre;
        } else if (const auto m = unixAnnee.match(ligne); m.hasMatch()) {
            const QDateTime t(QDate(m.captured(4).toInt(), mois(m.captured(2)), m.captured(3).toInt()), QTime(0, 0));
            e.modification = t.isValid() ? t : QDateTime();
            e.nom = m.captured(5);
            e.type = m.captured(1) == u"-" ? FtpEntree::Type::Fichier
                   : m.captured(1) == u"d" ? FtpEntree::Type::Repertoire
                                           : FtpEntree::Type::Autre;
        } else if (const auto m = dos.match(ligne); m.hasMatch()) {
            int annee = m.captured(3).toInt();
            if (m.captured(3).size() == 2)
                annee += annee < 70 ? 2000 : 1900;
            int h = m.captured(4).toInt();
            const QString ampm = m.captured(6).toUpper();
            if (ampm == u"AM" && h == 12)
                h = 0;
            else if (ampm == u"PM" && h < 12)
                h += 12;
            const QDateTime t(QDate(annee, m.captured(1).toInt(), m.captured(2).toInt()),
                              QTime(h, m.captured(5).toInt()));
            e.modification = t.isValid() ? t : QDateTime();
            e.nom = m.captured(8);
            e.type = m.captured(7) == u"<DIR>" ? FtpEntree::Type::Repertoire : FtpEntree::Type::Fichier;
        } else {
            continue; // "total 12" and anything unknown
        }
        if (e.type == FtpEntree::Type::Autre) {
            // A symbolic link reads "name -> target".
            const qsizetype fleche = e.nom.indexOf(QStringLiteral(" -> "));
            if (fleche > 0)
                e.nom.truncate(fleche);
        }
        if (e.nom.isEmpty() || e.nom == u"." || e.nom == u"..")
            continue;
        entrees << e;
    }
    return entrees;
}
