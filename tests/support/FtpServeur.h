#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

// A real FTP server on 127.0.0.1 for one test: tests/support/ftpserver.py run by the
// system's Python with pyftpdlib, on a free port. It stops with this object, and on its
// own when the test process dies (its stdin closes).
class FtpServeur
{
public:
    struct Compte
    {
        QString nom;
        QString motDePasse;
        QString repertoire; // home directory, must exist
        QString permissions = QStringLiteral("elradfmwMT"); // "elr": read-only
    };

    // Faults and features of the server's own, for the tests that need one.
    struct Options
    {
        bool mlsd = true;            // false: MLSD/MLST refused, clients must list with LIST
        QString journal;             // file that receives every command, passwords masked
        QString certificat;          // with cle: explicit FTPS only
        QString cle;
        QString panne;               // "cut", "truncate" or "no-overwrite" (see ftpserver.py)
        QStringList refuserRetr;     // names whose RETR gets 550
        QStringList disparaitre;     // names deleted at their first RETR
        bool nomsBruts = false;      // names as their bytes on disk, UTF-8 or not
        double delaiReponse = 0;     // seconds before every reply
        QStringList fermer421;       // names whose first RETR gets 421 and a closed session
        int maxParAdresse = 0;       // sessions beyond this from one address get 421; 0: no cap
    };

    // Throws std::runtime_error when the server does not start.
    explicit FtpServeur(const QList<Compte> &comptes, bool mlsd = true);
    FtpServeur(const QList<Compte> &comptes, const Options &options);
    // Another server script of tests/support, run the same way.
    FtpServeur(const QString &script, const QStringList &arguments);
    ~FtpServeur();
    FtpServeur(const FtpServeur &) = delete;
    FtpServeur &operator=(const FtpServeur &) = delete;

    int port() const { return m_port; }

    // The read-only report account the tests share, and the Halvenor.ini section reaching it.
    static Compte compteRapport(const QString &dossier)
    {
        return {QStringLiteral("rapport"), QStringLiteral("secret"), dossier, QStringLiteral("elr")};
    }
    QByteArray sectionRapport(const QString &motDePasse = QStringLiteral("secret")) const
    {
        return QStringLiteral("[Halvenor_Rapport]\r\nHost=127.0.0.1\r\nLogin=rapport\r\nMdp=%1\r\nPort=%2\r\n")
            .arg(motDePasse)
            .arg(m_port)
            .toLatin1();
    }

    // A self-signed certificate and its key for `noms` (subjectAltName, e.g.
    // "DNS:localhost,IP:127.0.0.1"), made by openssl in `dossier`. Throws when openssl fails.
    static void creerCertificat(const QString &dossier, const QString &noms, QString &certificat, QString &cle);

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};
