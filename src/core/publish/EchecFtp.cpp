#include "core/publish/EchecFtp.h"

#include "core/config/Parametres.h"
#include "core/publish/FtpClient.h"

#include <curl/curl.h>

QString raisonFtp(CauseFtp cause)
{
    switch (cause) {
    case CauseFtp::ConnexionRefusee: return QStringLiteral("Le serveur FTP refuse la connexion");
    case CauseFtp::HoteInconnu: return QStringLiteral("Serveur FTP inconnu");
    case CauseFtp::HoteVide: return QStringLiteral("Aucun serveur FTP n'est configuré");
    case CauseFtp::AdresseInvalide: return QStringLiteral("Adresse du serveur FTP invalide");
    case CauseFtp::DelaiDepasse: return QStringLiteral("Le serveur FTP ne répond pas (délai dépassé)");
    case CauseFtp::ConnexionCoupee: return QStringLiteral("La connexion avec le serveur FTP a été coupée");
    case CauseFtp::TropDeConnexions:
        return QStringLiteral("Le serveur FTP refuse une connexion de plus (trop de connexions depuis cette adresse)");
    case CauseFtp::LoginRefuse: return QStringLiteral("Identifiant ou mot de passe refusé par le serveur FTP");
    case CauseFtp::Introuvable: return QStringLiteral("Fichier ou dossier introuvable ou inaccessible sur le serveur FTP");
    case CauseFtp::EcritureRefusee: return QStringLiteral("Le serveur FTP refuse l'écriture du fichier");
    case CauseFtp::DisquePlein: return QStringLiteral("Espace disque insuffisant");
    case CauseFtp::EcritureLocale: return QStringLiteral("Impossible d'écrire la copie locale");
    case CauseFtp::Tls: return QStringLiteral("Échec de la connexion chiffrée (TLS) avec le serveur FTP");
    case CauseFtp::TlsCertificat: return QStringLiteral("Le certificat du serveur FTP n'est pas reconnu : aucune autorité de confiance ne l'a "
                                                             "signé (voir la clé CertificatCA)");
    case CauseFtp::TlsNomHote: return QStringLiteral("Le certificat du serveur FTP n'est pas établi pour le nom");
    case CauseFtp::Annulee: return QStringLiteral("Opération annulée");
    case CauseFtp::TlsAbsent: return QStringLiteral("Le serveur FTP n'accepte pas de connexion chiffrée (TLS)");
    case CauseFtp::CleHoteInconnue: return QStringLiteral("La clé d'hôte du serveur SFTP est inconnue");
    case CauseFtp::CleHoteChangee: return QStringLiteral("La clé d'hôte du serveur SFTP a changé : elle n'est plus celle "
                                                         "que connaît le fichier known_hosts");
    case CauseFtp::CleHoteDifferente: return QStringLiteral("La clé d'hôte du serveur SFTP ne correspond pas à la clé "
                                                            "EmpreinteSSH");
    case CauseFtp::Autre: break;
    }
    return QStringLiteral("Échec de l'échange avec le serveur FTP");
}

QString EchecFtp::texte() const
{
    return reponse.isEmpty() ? raison : raison + QStringLiteral(" : ") + reponse;
}

EchecFtp EchecFtp::de(CauseFtp cause, const QByteArray &reponseServeur)
{
    // Only a refusal is worth repeating: "226 Transfer complete" would mislead.
    const bool refus = reponseServeur.startsWith('4') || reponseServeur.startsWith('5');
    return {cause, raisonFtp(cause), refus ? texteServeur(reponseServeur) : QString()};
}

EchecFtp EchecFtp::hoteVide(const QString &section)
{
    return {CauseFtp::HoteVide,
            QStringLiteral("Aucun serveur FTP n'est configuré (section ") + section + QStringLiteral(" de Halvenor.ini)"),
            {}};
}

QString masquerMotDePasse(const QString &texte, const QString &motDePasse)
{
    if (motDePasse.isEmpty())
        return texte;
    // A word character on both sides of an edge: the password is part of a longer word there.
    const auto colle = [](QChar dedans, QChar dehors) { return dedans.isLetterOrNumber() && dehors.isLetterOrNumber(); };
    QString resultat;
    qsizetype debut = 0;
    qsizetype i = 0;
    while ((i = texte.indexOf(motDePasse, i)) >= 0) {
        const qsizetype fin = i + motDePasse.size();
        const bool seul = (i == 0 || !colle(motDePasse.front(), texte[i - 1]))
                          && (fin == texte.size() || !colle(motDePasse.back(), texte[fin]));
        if (!seul) {
            ++i;
            continue;
        }
        resultat += QStringView(texte).mid(debut, i - debut);
        resultat += QStringLiteral("********");
        debut = i = fin;
    }
    resultat += QStringView(texte).mid(debut);
    return resultat;
}

EchecFtp echecCurl(int codeCurl, long codeFtp, const QByteArray &derniereReponse, const QByteArray &texteCurl)
{
    const auto code = static_cast<CURLcode>(codeCurl);
    CauseFtp cause = CauseFtp::Autre;
    switch (code) {
    case CURLE_COULDNT_CONNECT: cause = CauseFtp::ConnexionRefusee; break;
    case CURLE_COULDNT_RESOLVE_HOST: cause = CauseFtp::HoteInconnu; break;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL: cause = CauseFtp::AdresseInvalide; break;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT: cause = CauseFtp::DelaiDepasse; break;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY: cause = CauseFtp::ConnexionCoupee; break;
    case CURLE_LOGIN_DENIED: cause = CauseFtp::LoginRefuse; break;
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE: cause = CauseFtp::Introuvable; break;
    case CURLE_REMOTE_DISK_FULL: cause = CauseFtp::DisquePlein; break;
    case CURLE_UPLOAD_FAILED:
        // 452 and 552: no room left on the server.
        cause = codeFtp == 452 || codeFtp == 552 ? CauseFtp::DisquePlein : CauseFtp::EcritureRefusee;
        break;
    case CURLE_WRITE_ERROR: cause = CauseFtp::EcritureLocale; break;
    case CURLE_USE_SSL_FAILED: cause = CauseFtp::TlsAbsent; break;
    case CURLE_PEER_FAILED_VERIFICATION:
        // curl words a host name mismatch "... does not match target host name" or "no alternative
        // certificate subject name matches".
        cause = texteCurl.contains("host name") || texteCurl.contains("subject name")
                    ? CauseFtp::TlsNomHote
                    : CauseFtp::TlsCertificat;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: cause = CauseFtp::Tls; break;
    default: break;
    }
    // 421 closes the connection, whatever curl makes of it: most often a cap on sessions.
    if (codeFtp == 421 && cause != CauseFtp::LoginRefuse)
        cause = CauseFtp::TropDeConnexions;
    return EchecFtp::de(cause, derniereReponse);
}

EchecFtp echecSftp(int codeCurl, const QByteArray &texteCurl, bool ecriture)
{
    const auto code = static_cast<CURLcode>(codeCurl);
    const auto dit = [&](const char *mots) { return texteCurl.contains(mots); };
    if (dit("No space") || dit("Quota exceeded"))
        return EchecFtp::de(CauseFtp::DisquePlein);
    switch (code) {
    case CURLE_REMOTE_ACCESS_DENIED:
        return EchecFtp::de(ecriture ? CauseFtp::EcritureRefusee : CauseFtp::Introuvable);
    case CURLE_QUOTE_ERROR: // rename, rm: "rename command failed: Permission denied"
    case CURLE_UPLOAD_FAILED:
        return EchecFtp::de(dit("No such file") ? CauseFtp::Introuvable
                            : ecriture          ? CauseFtp::EcritureRefusee
                                                : CauseFtp::Autre);
    case CURLE_SSH:
        if (ecriture && !dit("ssh session"))
            return EchecFtp::de(CauseFtp::EcritureRefusee);
        break;
    default: break;
    }
    EchecFtp e = echecCurl(codeCurl, 0, {}, texteCurl);
    // No reply line to quote: libcurl's own words are all the user can pass on.
    if (e.cause == CauseFtp::Autre)
        e.reponse = texteServeur(texteCurl.trimmed());
    return e;
}

EchecFtp echecCleHote(CauseFtp cause, const QString &empreinte, const QString &section)
{
    // "Paramétrage FTP" edits the publishing account only.
    const bool fenetre = section.isEmpty() || section == Parametres::nomSection(Parametres::Publication);
    const QString cle = QStringLiteral("clé EmpreinteSSH ")
                      + (section.isEmpty() ? QString() : QStringLiteral("de la section [") + section + QStringLiteral("] "))
                      + QStringLiteral("de Halvenor.ini");
    QString texte = raisonFtp(cause) + QStringLiteral(". Son empreinte est ") + empreinte + u'.';
    if (cause == CauseFtp::CleHoteInconnue)
        texte += QStringLiteral(" Si c'est bien celle de votre serveur, ")
               + (fenetre ? QStringLiteral("faites-lui confiance dans la fenêtre « Paramétrage FTP » ou ") : QString())
               + QStringLiteral("inscrivez-la dans la ") + cle + u'.';
    else
        texte += QStringLiteral(" Vérifiez auprès de l'hébergeur que le serveur a changé de clé avant de lui faire "
                                "confiance (")
               + cle + (fenetre ? QStringLiteral(" ou fenêtre « Paramétrage FTP »") : QString()) + QStringLiteral(").");
    return {cause, texte, {}};
}

ResultatFtp etapeFtp(const std::function<void()> &etape)
{
    try {
        etape();
    } catch (const FtpError &e) {
        return e.echec();
    } catch (const std::exception &e) {
        return EchecFtp{CauseFtp::Autre, texteErreur(e), {}};
    }
    return {};
}
