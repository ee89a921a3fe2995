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

    // mlsd = false: the server refuses MLSD/MLST, clients must list with LIST.
    // Throws std::runtime_error when the server does not start.
    explicit FtpServeur(const QList<Compte> &comptes, bool mlsd = true);
    // Another server script of tests/support, run the same way.
    FtpServeur(const QString &script, const QStringList &arguments);
    ~FtpServeur();
    FtpServeur(const FtpServeur &) = delete;
    FtpServeur &operator=(const FtpServeur &) = delete;

    int port() const { return m_port; }

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};
