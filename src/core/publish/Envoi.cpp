#include "core/publish/Envoi.h"

#include "core/base/EcritureSure.h"
#include "core/config/Parametres.h"
#include "core/publish/ClientDistant.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// One step of the session: a failure becomes one message box (its frame depends on
// whether the server refused the account) and false.
bool signaler(Messages &messages, const QString &siAuthentification, const QString &sinon, const ResultatFtp &r)
{
    if (r)
        return true;
    if (r.echec().annulee())
        return false;
    messages.afficher((r.echec().authentification() ? siAuthentification : sinon) + r.echec().texte());
    return false;
}

} // namespace

QString nomTemporaire(const QString &nom)
{
    return u'.' + nom + QStringLiteral(".partiel");
}

SessionFtp::SessionFtp(ClientDistant &client, CompteFtp compte, QString repertoireProgramme, Messages &messages)
    : m_client(client), m_compte(std::move(compte)), m_repertoireProgramme(std::move(repertoireProgramme)),
      m_messages(messages)
{
}

bool SessionFtp::ConnexionFTP()
{
    const ResultatFtp r = connecterCompte(m_client, m_compte, Parametres::nomSection(Parametres::Publication),
                                            m_repertoireProgramme);
    return signaler(m_messages, QStringLiteral("Impossible de se connecter au serveur FTP. Erreur "),
                    QStringLiteral("Une erreur est survenue (TFicheHalvenor::ConnexionFTP): "), r);
}

bool SessionFtp::EnvoiParFtp(const QString &cheminLocal, const QString &nomDistant)
{
    if (!QFileInfo(cheminLocal).isFile()) {
        m_messages.afficher(QStringLiteral("Le fichier : \n") + cheminLocal
                            + QStringLiteral("N'éxiste pas ou est inaccessible."));
        return false;
    }
    return signaler(m_messages, QStringLiteral("Impossible d'uploader les données. Erreur "),
                    QStringLiteral("Une erreur est survenue (TFicheHalvenor::EnvoiParFtp): "), etapeFtp([&] {
                        // A franchisee fetching *.xml meanwhile never reads half a file.
                        deposerEnEntier(m_client, cheminLocal, nomDistant);
                    }));
}

bool SessionFtp::DeconnexionFTP()
{
    return signaler(m_messages, QStringLiteral("Erreur lors de la déconnexion : "),
                    QStringLiteral("Une erreur est survenue (TFicheHalvenor::DeconnexionFTP): "), etapeFtp([&] {
                        if (m_client.connected())
                            m_client.disconnect();
                    }));
}

bool CopieParChemin(const QString &source, const QString &cible, Messages &messages, const Annulation *annulation)
{
    if (!QFileInfo(source).isFile()) {
        messages.afficher(QStringLiteral("Le fichier : \n") + source
                          + QStringLiteral(" n'existe pas ou est inaccessible."));
        return false;
    }
    QFile entree(source);
    QSaveFile sortie(cible);
    bool ok = entree.open(QIODevice::ReadOnly) && sortie.open(QIODevice::WriteOnly);
    qint64 total = 0;
    while (ok && !entree.atEnd()) {
        if (annulee(annulation)) {
            sortie.cancelWriting();
            return false;
        }
        const QByteArray bloc = entree.read(1 << 16);
        ok = !(bloc.isEmpty() && entree.error() != QFileDevice::NoError)
             && sortie.write(bloc) == bloc.size();
        total += bloc.size();
    }
    ok = ok && entree.error() == QFileDevice::NoError && terminerEcriture(sortie, total).ok();
    if (!ok) {
        sortie.cancelWriting();
        messages.afficher(QStringLiteral("Impossible de copier le fichier : \n\t") + source
                          + QStringLiteral("\ndans :\n\t") + cible);
        return false;
    }
    return true;
}

Envoi::Envoi(SessionFtp &session, ModeEnvoi mode, QString cheminURI, Messages &messages)
    : m_session(session), m_mode(mode), m_cheminURI(std::move(cheminURI)), m_messages(messages)
{
}

bool repertoirePublicationValide(ModeEnvoi mode, const QString &cheminURI)
{
    if (mode != ModeEnvoi::URI)
        return true;
    return !cheminURI.isEmpty() && QFileInfo(cheminURI).isDir();
}

bool Envoi::repertoireValide() const
{
    return repertoirePublicationValide(m_mode, m_cheminURI);
}

bool Envoi::EnvoiFichier(const QString &cheminLocal, const QString &nomFichier)
{
    if (m_mode == ModeEnvoi::URI)
        // CheminURI is a plain prefix: no separator is added.
        return CopieParChemin(cheminLocal, m_cheminURI + nomFichier, m_messages, m_annulation);
    if (!m_session.ConnexionFTP())
        return false;
    const bool envoye = m_session.EnvoiParFtp(cheminLocal, nomFichier);
    m_session.DeconnexionFTP();
    return envoye;
}

bool Envoi::envoyerFichiers(Genre g, const QString &dossierPreparer,
                            const std::function<void(const QString &)> &publie)
{
    for (const QString &nom : fichiersEnvoyes(g)) {
        if (annulee(m_annulation) || !EnvoiFichier(dossierPreparer + nom, nom))
            return false;
        if (publie)
            publie(nom);
    }
    return true;
}
