#pragma once

#include "core/publish/ClientDistant.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct CompteFtp;

// "SHA256:" and the SHA-256 of an SSH key blob in base64 without padding: what ssh-keygen -lf prints.
QString empreinteSsh(const QByteArray &cleBrute);

// The dates of an SFTP listing come from the server's "ls -l" lines: to the minute, in the
// server's clock. One exact time (`nomBrut`'s, UTC) tells which clock: the zone of this
// machine, or a fixed offset from UTC. The timed entries are moved to local time and lose
// `sansFuseau`; those listed with a year only keep it. False when the exact time fits neither
// (the entries are left as they were).
bool calerDatesSftp(QList<FtpEntree> &entrees, const QByteArray &nomBrut, const QDateTime &exacte);

// One SFTP session over libcurl (libssh2). The host key is always checked: against
// EmpreinteSSH when set, otherwise against the user's known_hosts. A private key (CleSSH) is
// tried before the password. Paths are taken from the login directory.
class SftpClient final : public ClientDistant
{
public:
    SftpClient();
    ~SftpClient() override;
    SftpClient(const SftpClient &) = delete;
    SftpClient &operator=(const SftpClient &) = delete;

    // Host, port, login, password, fingerprint and key of the account; a relative CleSSH is
    // taken from `repertoireProgramme`.
    void configurer(const CompteFtp &compte, const QString &repertoireProgramme) override;
    // Where known hosts are read; ~/.ssh/known_hosts unless set.
    void setFichierHotesConnus(const QString &chemin);
    // Seconds without any answer before an operation fails (60 unless set).
    void setDelaiReponse(int secondes);
    // The fingerprint of the key the server showed at the last connection; empty before.
    QString empreinteServeur() const;

    void setTransferTimeout(int ms) override;
    void setAnnulation(const Annulation *annulation) override;
    const Annulation *annulation() const override;

    void connect() override;
    bool connected() const override;
    void disconnect() override;
    void changeDir(const QString &chemin) override;
    QList<FtpEntree> list() override;
    QDateTime dateExacte(const QByteArray &nomBrut) override;
    void get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax = 0) override;
    QList<ResultatFtp> getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax = 0,
                                    const std::function<void(qsizetype, const ResultatFtp &)> &termine = {},
                                    QList<QDateTime> *dates = nullptr) override;
    void put(const QString &cheminLocal, const QString &nomDistant) override;
    qint64 size(const QString &nomDistant) override;
    void rename(const QString &ancien, const QString &nouveau) override;
    void remove(const QString &nomDistant) override;
    void replace(const QString &ancien, const QString &remplace) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
