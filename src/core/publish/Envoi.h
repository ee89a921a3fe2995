#pragma once

#include "core/config/Configuration.h"
#include "core/base/Genres.h"
#include "core/base/Messages.h"
#include "core/publish/ClientDistant.h"

#include <QString>

#include <functional>

// ".remise_achat.xml.partiel" for "remise_achat.xml": hidden, and no *.xml.
QString nomTemporaire(const QString &nom);

// The publishing session on the franchise network's FTP or SFTP account (the main window's sends):
// one session per file. Every failure is shown through `messages` and turned into false;
// a cancelled step (the client's Annulation) gives false without a word.
class SessionFtp
{
public:
    // `compte`: the publishing account as read at the click; its relative certificate and key
    // paths are taken from `repertoireProgramme`.
    SessionFtp(ClientDistant &client, CompteFtp compte, QString repertoireProgramme, Messages &messages);

    bool ConnexionFTP();
    // Uploads the file under nomTemporaire(nomDistant) into the login directory, checks its
    // size where the server gives one, then renames it to `nomDistant`. A failure leaves
    // `nomDistant` as it was and removes the temporary file where the session still stands.
    bool EnvoiParFtp(const QString &cheminLocal, const QString &nomDistant);
    // Closes the session when one is open; false only when closing failed.
    bool DeconnexionFTP();

private:
    ClientDistant &m_client;
    CompteFtp m_compte;
    QString m_repertoireProgramme;
    Messages &m_messages;
};

// Copies `source` to `cible` byte for byte, replacing an existing target. The target
// folder never holds half a file: the copy goes to a temporary name there, then is renamed.
// Cancelled between two blocks, it leaves the target as it was and says nothing.
bool CopieParChemin(const QString &source, const QString &cible, Messages &messages,
                    const Annulation *annulation = nullptr);

// URI mode: `cheminURI` names an existing directory (an empty one does not). FTP mode: true.
bool repertoirePublicationValide(ModeEnvoi mode, const QString &cheminURI);

// The send actions: publishes files by the configured channel.
class Envoi
{
public:
    Envoi(SessionFtp &session, ModeEnvoi mode, QString cheminURI, Messages &messages);

    // URI mode: CheminURI names an existing directory (an empty one does not). FTP mode: true.
    bool repertoireValide() const;

    // Publishes one file by FTP (its own session) or by copy to CheminURI + nomFichier.
    bool EnvoiFichier(const QString &cheminLocal, const QString &nomFichier);

    // Publishes fichiersEnvoyes(g) from `dossierPreparer`, in order, stopping at the first
    // failure or cancellation. `publie` hears the name of each file once it is published.
    bool envoyerFichiers(Genre g, const QString &dossierPreparer,
                         const std::function<void(const QString &)> &publie = {});

    // Checked between files and by copies; the FTP client carries its own.
    void definirAnnulation(const Annulation *annulation) { m_annulation = annulation; }

private:
    SessionFtp &m_session;
    ModeEnvoi m_mode;
    QString m_cheminURI;
    Messages &m_messages;
    const Annulation *m_annulation = nullptr;
};
