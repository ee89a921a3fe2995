#include "core/publish/ClientDistant.h"

#include "core/config/Parametres.h"
#include "core/publish/Envoi.h"
#include "core/publish/FtpClient.h"
#include "core/publish/SftpClient.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>

namespace {
// A cancelled upload's clean-up, all steps together.
constexpr int DelaiNettoyageAnnuleMs = 700;
} // namespace

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
        // The user asked to stop: connecting, deleting and closing share one short deadline,
        // so that the click stops the send within a second.
        const QDeadlineTimer limite(annule ? DelaiNettoyageAnnuleMs : 0);
        const auto borner = [&] {
            if (annule)
                client.setTransferTimeout(static_cast<int>(std::max<qint64>(1, limite.remainingTime())));
        };
        if (annule) {
            client.setAnnulation(nullptr);
            borner();
            etapeFtp([&] { client.connect(); });
        }
        if (client.connected() && !(annule && limite.hasExpired())) {
            borner();
            try {
                client.remove(temporaire);
            } catch (...) {
                // The first failure is the one to report.
            }
        }
        if (annule) {
            borner();
            etapeFtp([&] { client.disconnect(); });
            client.setTransferTimeout(0);
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

ResultatFtp connecterCompte(ClientDistant &client, const CompteFtp &compte, const QString &section,
                            const QString &repertoireProgramme)
{
    if (compte.Host.trimmed().isEmpty())
        return EchecFtp::hoteVide(section);
    const ResultatFtp r = etapeFtp([&] {
        client.configurer(compte, repertoireProgramme);
        client.connect();
    });
    // A host key to trust: the message names the section where its fingerprint goes.
    if (!r && (r.echec().cause == CauseFtp::CleHoteInconnue || r.echec().cause == CauseFtp::CleHoteChangee)) {
        if (const auto *sftp = dynamic_cast<const SftpClient *>(&client))
            return echecCleHote(r.echec().cause, sftp->empreinteServeur(), section);
    }
    return r;
}
