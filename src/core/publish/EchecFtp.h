#pragma once

#include "core/base/Erreurs.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Why an FTP step failed, in the user's words. The French wording lives in raisonFtp() only.
enum class CauseFtp {
    ConnexionRefusee,
    HoteInconnu,
    HoteVide,
    AdresseInvalide,
    DelaiDepasse,
    ConnexionCoupee,
    TropDeConnexions,
    LoginRefuse,
    Introuvable,
    EcritureRefusee,
    DisquePlein,
    EcritureLocale,
    Tls,
    TlsCertificat,
    TlsNomHote,
    TlsAbsent,
    CleHoteInconnue,   // SFTP: the host key is in no known_hosts, and no EmpreinteSSH is set
    CleHoteChangee,    // SFTP: known_hosts holds another key for this host
    CleHoteDifferente, // SFTP: the host key is not the one of EmpreinteSSH
    Annulee, // the user's request to stop: never shown
    Autre,
};

QString raisonFtp(CauseFtp cause);

// One failed FTP step: the French reason, and the server's last reply line when it refused.
struct EchecFtp
{
    CauseFtp cause = CauseFtp::Autre;
    QString raison;
    QString reponse; // decoded for display; empty when the server said nothing useful

    bool authentification() const { return cause == CauseFtp::LoginRefuse; }
    bool annulee() const { return cause == CauseFtp::Annulee; }
    // The reason, then ": " and the server's reply when there is one.
    QString texte() const;

    static EchecFtp de(CauseFtp cause, const QByteArray &reponseServeur = {});
    // The account's section has no Host: said before any attempt, naming the section.
    static EchecFtp hoteVide(const QString &section);
};

// `texte` with `motDePasse` replaced by "********" wherever it stands as a word of its own, as
// a server that echoes what it was sent shows it: not inside a longer word, where a short
// password is only an ordinary piece of text ("coupée" keeps its "p").
QString masquerMotDePasse(const QString &texte, const QString &motDePasse);

// libcurl's result of an operation, with the FTP reply code and the last reply line.
// `texteCurl` is curl's error buffer, which tells the TLS failures apart.
EchecFtp echecCurl(int codeCurl, long codeFtp, const QByteArray &derniereReponse, const QByteArray &texteCurl);

// The same for an SFTP operation: `ecriture` when it writes on the server, where a refusal
// means the write. libcurl words SFTP statuses in `texteCurl` only.
EchecFtp echecSftp(int codeCurl, const QByteArray &texteCurl, bool ecriture);
// A refused host key: the reason, the server's fingerprint ("SHA256:...") and how to trust it,
// in `section` of Halvenor.ini when known (and in the settings window for the one it edits).
EchecFtp echecCleHote(CauseFtp cause, const QString &empreinte, const QString &section = {});

// Every FTP failure is thrown as one of these and caught by etapeFtp().
class FtpError : public HalvenorError
{
public:
    explicit FtpError(EchecFtp echec) : HalvenorError(echec.texte()), m_echec(std::move(echec)) {}
    explicit FtpError(const QString &raison) : FtpError(EchecFtp{CauseFtp::Autre, raison, {}}) {}
    const EchecFtp &echec() const { return m_echec; }

private:
    EchecFtp m_echec;
};

// Authentication refused by the server (at connection or on a silent re-login).
class EIdFTPAUTHException : public FtpError
{
public:
    using FtpError::FtpError;
};

// The result of one FTP step: success, or the failure the caller words in its own frame.
class ResultatFtp
{
public:
    ResultatFtp() = default;
    ResultatFtp(EchecFtp echec) : m_echec(std::move(echec)) {} // NOLINT: a failure converts
    bool reussi() const { return !m_echec; }
    explicit operator bool() const { return reussi(); }
    const EchecFtp &echec() const { return *m_echec; }

private:
    std::optional<EchecFtp> m_echec;
};

// Runs one step; an FtpError (or any other error) becomes its failure.
ResultatFtp etapeFtp(const std::function<void()> &etape);
