#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// OpenSSH's sshd on 127.0.0.1 for one test, as the test's own process: the copy laid out by
// tests/support/preparer_sshd.sh, its own host key (ed25519) and configuration, a free port.
// The account is the user running the test, by key only, shut in internal-sftp whose
// directory is `repertoire` (the login directory). It stops with this object.
class SshServeur
{
public:
    struct Options
    {
        QString fuseau; // TZ of the server: the clock of its listings ("" : the test's own)
        int demarragesMax = 0; // when > 0, PerSourceMaxStartups: handshakes at once from one address
        bool plusieursCles = false; // ECDSA and RSA (ssh-rsa offered) host keys too, as a stock server has
    };

    // Throws std::runtime_error when sshd is missing or does not start.
    explicit SshServeur(const QString &repertoire);
    SshServeur(const QString &repertoire, const Options &options);
    ~SshServeur();
    SshServeur(const SshServeur &) = delete;
    SshServeur &operator=(const SshServeur &) = delete;

    int port() const { return m_port; }
    QString utilisateur() const { return m_utilisateur; }
    QString cleClient() const;  // private key that the server accepts
    QString empreinte() const;  // "SHA256:..." of the host key, as ssh-keygen -lf prints it
    // The whole line ssh-keygen -lf prints for a host key: "hote" (ed25519), "hote_ecdsa", "hote_rsa".
    QString ligneEmpreinte(const QString &cle = QStringLiteral("hote")) const;
    QString ligneHotesConnus() const; // "[127.0.0.1]:port ssh-ed25519 AAAA..."
    // Another ed25519 key pair in `dossier`, made by ssh-keygen; returns the private key's path.
    static QString creerCle(const QString &dossier, const QString &nom);
    // The sshd binary: the test cache's copy.
    static QString programme();

private:
    QTemporaryDir m_dossier;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_utilisateur;
};
