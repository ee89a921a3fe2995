#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// One of the FTP servers head offices run (vsftpd, ProFTPD, Pure-FTPd), started for one test
// from the Debian packages that tests/support/serveurs.sh unpacks, with a configuration of its
// own: 127.0.0.1, a free port, one account (user and password) whose home is a temporary
// folder, passive ports in a free range, and with `tls` explicit FTPS required on a
// self-signed certificate, each server keeping its default about TLS session reuse (vsftpd
// and ProFTPD require it). Pure-FTPd allows 2 connections per address, like shared hosting.
// The server runs in the foreground in a process group of its own, stopped with this object.
class ServeurReel
{
public:
    enum class Logiciel { Vsftpd, ProFtpd, PureFtpd };

    // Empty when this server can run here; otherwise why not (a test skips with it).
    static QString indisponible(Logiciel logiciel);
    static QString nom(Logiciel logiciel);
    // Where serveurs.sh laid the packages out.
    static QString dossierServeurs();

    // Throws std::runtime_error when the server does not start.
    ServeurReel(Logiciel logiciel, bool tls);
    ~ServeurReel();
    ServeurReel(const ServeurReel &) = delete;
    ServeurReel &operator=(const ServeurReel &) = delete;

    int port() const { return m_port; }
    QString login() const { return QStringLiteral("halvenor"); }
    QString motDePasse() const { return m_motDePasse; }
    // The account's home: "/" for the client. Folders made here must stay writable by the
    // server's user (mode 0777); files it only reads may be the test's.
    QString racine() const { return m_tmp.filePath(QStringLiteral("home")); }
    QString certificat() const { return m_certificat; }
    // The most connections the server accepts from one address; 0: no cap.
    int maxParAdresse() const { return m_logiciel == Logiciel::PureFtpd ? 2 : 0; }
    // Makes a folder under the home that the server's user may write into.
    void creerDossier(const QString &relatif) const;

private:
    bool demarrer(int port, int passifMin, int passifMax);
    void arreter();

    Logiciel m_logiciel;
    bool m_tls;
    QTemporaryDir m_tmp;
    QString m_motDePasse;
    QString m_certificat, m_cle;
    QString m_servicePam; // vsftpd: the PAM service written for this instance
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};
