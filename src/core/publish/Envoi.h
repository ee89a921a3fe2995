#pragma once

#include "core/config/Configuration.h"
#include "core/base/Genres.h"
#include "core/base/Messages.h"
#include "core/publish/FtpClient.h"

#include <QString>

#include <functional>

// The publishing session on the franchise network's FTP account (the main window's IdFTP1):
// one session per file. Every failure is shown through `messages` and turned into false.
class SessionFtp
{
public:
    SessionFtp(FtpClient &client, Messages &messages);

    // Reads the publishing account of chemins().FichierIni at each call (missing file: the defaults).
    bool ConnexionFTP();
    // Uploads the file under `nomDistant` into the login directory.
    bool EnvoiParFtp(const QString &cheminLocal, const QString &nomDistant);
    // Closes the session when one is open; false only when closing failed.
    bool DeconnexionFTP();

private:
    FtpClient &m_client;
    Messages &m_messages;
};

// Copies `source` to `cible` byte for byte, replacing an existing target. The target
// folder never holds half a file: the copy goes to a temporary name there, then is renamed.
bool CopieParChemin(const QString &source, const QString &cible, Messages &messages);

// The send actions: publishes files by the configured channel.
class Envoi
{
public:
    Envoi(SessionFtp &session, ModeEnvoi mode, QString cheminURI, Messages &messages);

    // URI mode: CheminURI names an existing directory (an empty one does not). FTP mode: true.
    bool repertoireValide() const;

    // Publishes one file by FTP (its own session) or by copy to CheminURI + nomFichier.
    bool EnvoiFichier(const QString &cheminLocal, const QString &nomFichier);

    // Publishes fichiersEnvoyes(g) from chemins().RepertoirePreparer, in order, stopping at
    // the first failure. `publie` hears the name of each file once it is published.
    bool envoyerFichiers(Genre g, const std::function<void(const QString &)> &publie = {});

private:
    SessionFtp &m_session;
    ModeEnvoi m_mode;
    QString m_cheminURI;
    Messages &m_messages;
};
