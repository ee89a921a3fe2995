#include "core/publish/ClientDistant.h"

#include "core/base/Chemins.h"
#include "core/config/Parametres.h"
#include "core/publish/Envoi.h"
#include "core/publish/FtpClient.h"
#include "core/publish/SftpClient.h"

#include <QFileInfo>

void deposerEnEntier(ClientDistant &client, const QString &cheminLocal, const QString &nom)
{
    const QString temporaire = nomTemporaire(nom);
    const qint64 taille = QFileInfo(cheminLocal).size();
    try {
        // A transfer reported complete may still be short: the size the server holds decides.
        for (int essai = 1;; ++essai) {
            client.put(cheminLocal, temporaire);
            const qint64 recu = client.size(temporaire);
            if (recu < 0 || recu == taille)
                break;
            if (essai == 2)
                throw FtpError(QStringLiteral("le serveur a reçu %1 octets au lieu de %2.").arg(recu).arg(taille));
        }
        try {
            client.rename(temporaire, nom);
        } catch (const FtpError &) {
            // OpenSSH's SFTP and Windows FTP servers refuse to rename onto an existing file.
            // Any other refusal is reported as it is: deleting first would lose the published file.
            if (!client.connected() || client.size(nom) < 0)
                throw;
            client.replace(temporaire, nom);
        }
    } catch (const FtpError &e) {
        // A cancelled send has closed its connection: the temporary file is deleted over a
        // new one, which the cancellation must not stop in turn.
        const Annulation *annulation = client.annulation();
        const bool annule = e.echec().annulee();
        if (annule) {
            // Briefly: the user asked to stop, the deletion must not keep them waiting.
            client.setAnnulation(nullptr);
            client.setTransferTimeout(2000);
            etapeFtp([&] { client.connect(); });
        }
        if (client.connected()) {
            try {
                client.remove(temporaire);
            } catch (...) {
                // The first failure is the one to report.
            }
        }
        if (annule) {
            client.setTransferTimeout(0);
            etapeFtp([&] { client.disconnect(); });
        }
        client.setAnnulation(annulation);
        throw;
    }
}

ResultatFtp testerConnexion(ClientDistant &client)
{
    const ResultatFtp r = etapeFtp([&] {
        client.connect();
        client.list();
    });
    try {
        client.disconnect();
    } catch (...) {
        // The test's answer is the connection's, not the goodbye's.
    }
    return r;
}

QList<qsizetype> ClientDistant::datesListe(QList<FtpEntree> &entrees, const QDate &limite)
{
    QList<qsizetype> incertaines;
    for (qsizetype i = 0; i < entrees.size(); ++i) {
        const FtpEntree &e = entrees[i];
        if (e.sansFuseau && e.modification.isValid() && dateListeIncertaine(e.modification, limite))
            incertaines << i;
    }
    return incertaines;
}

std::unique_ptr<ClientDistant> clientPourCompte(const CompteFtp &compte)
{
    if (compte.sftp())
        return std::make_unique<SftpClient>();
    return std::make_unique<FtpClient>();
}

ResultatFtp connecterCompte(ClientDistant &client, const CompteFtp &compte, const QString &section)
{
    if (compte.Host.trimmed().isEmpty())
        return EchecFtp::hoteVide(section);
    const ResultatFtp r = etapeFtp([&] {
        client.configurer(compte, chemins().RepertoireProgramme);
        client.connect();
    });
    // A host key to trust: the message names the section where its fingerprint goes.
    if (!r && (r.echec().cause == CauseFtp::CleHoteInconnue || r.echec().cause == CauseFtp::CleHoteChangee)) {
        if (const auto *sftp = dynamic_cast<const SftpClient *>(&client))
            return echecCleHote(r.echec().cause, sftp->empreinteServeur(), section);
    }
    return r;
}
