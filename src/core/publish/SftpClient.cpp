#include "core/publish/SftpClient.h"
#include "core/publish/RappelsCurl.h"
#include "core/publish/FtpClient.h"

#include "core/base/Chemins.h"
#include "core/base/EcritureSure.h"
#include "core/config/Parametres.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <vector>

#if LIBCURL_VERSION_NUM < 0x075400
#error "SFTP host key checks need libcurl 7.84 or later (CURLOPT_SSH_HOSTKEYFUNCTION)"
#endif

QString empreinteSsh(const QByteArray &cleBrute)
{
    const QByteArray somme = QCryptographicHash::hash(cleBrute, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") + QString::fromLatin1(somme.toBase64(QByteArray::OmitTrailingEquals));
}

namespace {

// The part that carries the key, whatever the user copied around it ("256 SHA256:... (ED25519)").
QString corpsEmpreinte(QString empreinte)
{
    empreinte = empreinte.trimmed();
    const qsizetype debut = empreinte.indexOf(QStringLiteral("SHA256:"));
    if (debut >= 0)
        empreinte = empreinte.mid(debut + 7).section(u' ', 0, 0);
    while (empreinte.endsWith(u'='))
        empreinte.chop(1);
    return empreinte;
}

// Host key types libcurl can ask the server for, libssh2's names. Not RSA: libcurl asks for it
// as "rsa-sha2-512,rsa-sha2-256,ssh-rsa", and libssh2 1.10 drops the two it lacks with an
// overlapping memcpy. An RSA key is still accepted where the server offers it first.
const QList<QByteArray> &typesCle()
{
    static const QList<QByteArray> types{"ssh-ed25519", "ecdsa-sha2-nistp256", "ecdsa-sha2-nistp384",
                                         "ecdsa-sha2-nistp521"};
    return types;
}

// The type that a pasted "ssh-keygen -lf" line names at its end ("256 SHA256:... (ECDSA)").
QByteArray typeEmpreinte(const QString &empreinte)
{
    const QString texte = empreinte.trimmed();
    if (texte.endsWith(QStringLiteral("(ED25519)")))
        return "ssh-ed25519";
    if (texte.endsWith(QStringLiteral("(ECDSA)"))) {
        const QString bits = texte.section(u' ', 0, 0);
        return QByteArray("ecdsa-sha2-nistp") + (bits == u"384" || bits == u"521" ? bits.toLatin1() : "256");
    }
    return {};
}

// A key blob begins with its type's name; RSA keys go under one name whatever their signature.
QByteArray typeDuBlob(const QByteArray &blob)
{
    if (blob.size() < 4)
        return {};
    const auto *o = reinterpret_cast<const unsigned char *>(blob.constData());
    const quint32 n = (quint32(o[0]) << 24) | (quint32(o[1]) << 16) | (quint32(o[2]) << 8) | o[3];
    return n <= quint32(blob.size() - 4) ? blob.mid(4, n) : QByteArray();
}

// A known_hosts line whose only use is to make libcurl ask the server for a key of `type`
// (libcurl prefers the type of the host's entry). The key is checked by our own call, never
// against this line: hashed, it stands for any host and port; its key is a blob of that type
// with no key in it.
QByteArray ligneForcantType(const QByteArray &type)
{
    QByteArray blob(4, '\0');
    blob[3] = static_cast<char>(type.size());
    blob += type + QByteArray(4, '\0');
    const QByteArray sel = QByteArray(20, '\x01').toBase64();
    return "|1|" + sel + '|' + sel + ' ' + type + ' ' + blob.toBase64() + '\n';
}

using namespace rappelscurl;

// Failures after which the SSH connection is gone: the session is over.
bool sessionPerdue(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_LOGIN_DENIED:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSH:
    case CURLE_FAILED_INIT: // libcurl's word for an SSH handshake that failed (a dropped extra session)
    case CURLE_URL_MALFORMAT:
        return true;
    default:
        return false;
    }
}

// A name goes into a quoted command or a URL whole: no line breaks, no NUL, no slash.
bool nomEnvoyable(const QByteArray &nom)
{
    return !nom.isEmpty() && nom != "." && nom != ".." && !nom.contains('\r') && !nom.contains('\n')
        && !nom.contains('\0') && !nom.contains('/');
}

} // namespace

struct SftpClient::Impl
{
    CURL *easy = nullptr;
    CURLM *multi = nullptr;

    QString host;
    int port = CompteFtp::PortSftpParDefaut;
    QString user;
    QString password;
    QString empreinteAttendue; // the body of EmpreinteSSH; empty: known_hosts decides
    // The host key type to ask for, so that EmpreinteSSH is compared with the key it names:
    // a server with several keys shows one, chosen by libssh2. Empty: libssh2's choice.
    QByteArray typeCle;
    std::unique_ptr<QTemporaryDir> dossierType; // holds the known_hosts line that asks for it
    QString cle;               // absolute path of the private key; empty: password only
    QString hotesConnus = QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
    long delai = 60;
    long delaiOperationMs = 0; // 0: none beyond `delai`
    const Annulation *annulation = nullptr;

    bool connecte = false;
    QByteArray racine;     // the login directory, absolute, learned at connection
    QString repertoire;    // the account's path of the current directory; empty: the login directory
    char erreur[CURL_ERROR_SIZE] = {};
    QByteArray sortieQuote;

    // What the last host key check saw: its fingerprint, and why it was refused.
    QString empreinteVue;
    std::optional<CauseFtp> refusCle;
    QByteArray typeVu; // the type of that key
    bool cleAcceptee = false;

    ~Impl() { fermer(); }

    void fermer()
    {
        if (multi && easy)
            curl_multi_remove_handle(multi, easy);
        if (multi)
            curl_multi_cleanup(multi);
        if (easy)
            curl_easy_cleanup(easy);
        multi = nullptr;
        easy = nullptr;
    }

    static int cleAttendue(void *contexte, int, const char *cleBrute, size_t taille)
    {
        auto *d = static_cast<Impl *>(contexte);
        const QByteArray blob(cleBrute, static_cast<qsizetype>(taille));
        d->empreinteVue = empreinteSsh(blob);
        d->typeVu = typeDuBlob(blob);
        if (corpsEmpreinte(d->empreinteVue) == d->empreinteAttendue) {
            d->cleAcceptee = true;
            return CURLKHMATCH_OK;
        }
        d->refusCle = CauseFtp::CleHoteDifferente;
        return CURLKHMATCH_MISMATCH;
    }

    // Never adds to known_hosts: trusting a key is the user's act, in the settings window.
    static int cleConnue(CURL *, const curl_khkey *, const curl_khkey *trouvee, curl_khmatch accord, void *contexte)
    {
        auto *d = static_cast<Impl *>(contexte);
        // The server's key comes raw, with its length.
        d->empreinteVue = empreinteSsh(QByteArray(trouvee->key, static_cast<qsizetype>(trouvee->len)));
        if (accord == CURLKHMATCH_OK)
            return CURLKHSTAT_FINE;
        d->refusCle = accord == CURLKHMATCH_MISMATCH ? CauseFtp::CleHoteChangee : CauseFtp::CleHoteInconnue;
        return CURLKHSTAT_REJECT;
    }

    void optionsCommunes(CURL *h, char *tamponErreur)
    {
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, tamponErreur);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "sftp");
        curl_easy_setopt(h, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
        long methodes = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
        if (!cle.isEmpty()) {
            // libcurl tries the key first, then the password.
            methodes |= CURLSSH_AUTH_PUBLICKEY;
            curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(cle).constData());
        }
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, methodes);
        if (!empreinteAttendue.isEmpty()) {
            curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYFUNCTION, &Impl::cleAttendue);
            curl_easy_setopt(h, CURLOPT_SSH_HOSTKEYDATA, this);
            // Read only to choose the key type: with a host key call set, libcurl checks
            // nothing against it.
            if (!typeCle.isEmpty() && dossierType)
                curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(fichierType()).constData());
        } else {
            curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(hotesConnus).constData());
            curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, &Impl::cleConnue);
            curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, this);
        }
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, delai);
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, delai);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, delai);
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, delaiOperationMs);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &progression);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &annulation);
    }

    QString fichierType() const { return dossierType->filePath(QStringLiteral("known_hosts")); }

    void demanderType(const QByteArray &type)
    {
        typeCle = type;
        if (type.isEmpty())
            return;
        if (!dossierType) {
            dossierType = std::make_unique<QTemporaryDir>();
            if (!dossierType->isValid()) {
                dossierType.reset();
                throw FtpError(QStringLiteral("Impossible de créer un dossier temporaire : ")
                               + QStringLiteral("la clé d'hôte du serveur SFTP ne peut pas être vérifiée."));
            }
        }
        const ResultatEcriture r = ecrireEnEntier(fichierType(), ligneForcantType(type));
        if (!r)
            throw FtpError(QStringLiteral("Impossible d'écrire le fichier ") + fichierType() + QStringLiteral(" : ")
                           + r.raison());
    }

    QByteArray echapper(const QByteArray &brut) const
    {
        char *e = curl_easy_escape(easy, brut.constData(), static_cast<int>(brut.size()));
        QByteArray r(e);
        curl_free(e);
        return r;
    }

    // "/~/" is libcurl's login directory.
    QByteArray urlRepertoire() const
    {
        const QString h = host.trimmed();
        QByteArray url = "sftp://" + (h.contains(u':') ? '[' + h.toUtf8() + ']' : h.toUtf8()) + ':'
                       + QByteArray::number(port) + "/~/";
        for (const QString &p : repertoire.split(u'/', Qt::SkipEmptyParts))
            url += echapper(p.toUtf8()) + '/';
        return url;
    }

    // A path for a quoted command: absolute, from the login directory.
    QByteArray cheminQuote(const QByteArray &nom) const
    {
        QByteArray chemin = racine;
        for (const QString &p : repertoire.split(u'/', Qt::SkipEmptyParts))
            chemin += '/' + p.toUtf8();
        chemin += '/' + nom;
        chemin.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + chemin + '"';
    }

    void preparer(const QByteArray &url)
    {
        if (!multi)
            multi = curl_multi_init();
        if (!easy)
            easy = curl_easy_init();
        else
            curl_easy_reset(easy);
        if (!multi || !easy)
            throw FtpError(QStringLiteral("Initialisation de libcurl impossible."));
        erreur[0] = '\0';
        curl_easy_setopt(easy, CURLOPT_URL, url.constData());
        optionsCommunes(easy, erreur);
    }

    // Through the multi handle, whose cache keeps the logged-in connection between operations.
    CURLcode executer()
    {
        refusCle.reset();
        cleAcceptee = false;
        CURLMcode mc = curl_multi_add_handle(multi, easy);
        int actifs = 1;
        while (mc == CURLM_OK) {
            mc = curl_multi_perform(multi, &actifs);
            if (mc != CURLM_OK || actifs == 0)
                break;
            // Progress calls may not come during the SSH handshake: each poll checks too.
            if (annulee(annulation))
                annuler();
            mc = curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        CURLcode resultat = CURLE_GOT_NOTHING;
        int restants = 0;
        while (CURLMsg *m = curl_multi_info_read(multi, &restants)) {
            if (m->msg == CURLMSG_DONE && m->easy_handle == easy)
                resultat = m->data.result;
        }
        curl_multi_remove_handle(multi, easy);
        if (mc != CURLM_OK)
            throw FtpError(QString::fromUtf8(curl_multi_strerror(mc)));
        return resultat;
    }

    // Stopped mid-exchange: the connection's state is unknown, it goes.
    [[noreturn]] void annuler()
    {
        curl_multi_remove_handle(multi, easy);
        connecte = false;
        fermer();
        throw FtpError(EchecFtp::de(CauseFtp::Annulee));
    }

    EchecFtp echecDe(CURLcode code, const char *tampon, bool ecriture) const
    {
        if (code == CURLE_PEER_FAILED_VERIFICATION && refusCle)
            return echecCleHote(*refusCle, empreinteVue);
        EchecFtp e = echecSftp(code, QByteArray(tampon), ecriture);
        e.reponse = masquerMotDePasse(e.reponse, password);
        return e;
    }

    [[noreturn]] void echec(CURLcode code, bool ecriture = false, bool fermerSession = false)
    {
        if (code == CURLE_ABORTED_BY_CALLBACK && annulee(annulation))
            annuler();
        EchecFtp e = echecDe(code, erreur, ecriture);
        if (fermerSession || sessionPerdue(code)) {
            connecte = false;
            fermer();
        }
        if (e.authentification())
            throw EIdFTPAUTHException(std::move(e));
        throw FtpError(std::move(e));
    }

    void exigerConnexion() const
    {
        if (!connecte)
            throw FtpError(QStringLiteral("Pas de session ouverte avec le serveur SFTP."));
    }

    void quote(const QList<QByteArray> &commandes, bool ecriture)
    {
        exigerConnexion();
        ListeCurl liste;
        for (const QByteArray &c : commandes)
            liste.ajouter(c);
        preparer(urlRepertoire());
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_QUOTE, liste.l);
        const CURLcode code = executer();
        curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
        if (code != CURLE_OK)
            echec(code, ecriture);
    }

    static QByteArray nomCommande(const QString &nom)
    {
        const QByteArray brut = nom.toUtf8();
        if (!nomEnvoyable(brut))
            throw FtpError(QStringLiteral("Nom de fichier distant invalide."));
        return brut;
    }

    // The file's attributes by one stat: its size and modification time.
    bool stat(const QByteArray &nomBrut, curl_off_t &taille, curl_off_t &date)
    {
        exigerConnexion();
        preparer(urlRepertoire() + echapper(nomBrut));
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_FILETIME, 1L);
        const CURLcode code = executer();
        if (code != CURLE_OK) {
            if (sessionPerdue(code) || code == CURLE_ABORTED_BY_CALLBACK)
                echec(code);
            return false;
        }
        taille = -1;
        date = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &taille);
        curl_easy_getinfo(easy, CURLINFO_FILETIME_T, &date);
        return true;
    }
};

SftpClient::SftpClient()
    : d(std::make_unique<Impl>())
{
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SftpClient::~SftpClient() = default;

void SftpClient::configurer(const CompteFtp &compte, const QString &repertoireProgramme)
{
    d->host = compte.Host;
    d->port = compte.Port;
    d->user = compte.Login;
    d->password = compte.Mdp;
    d->empreinteAttendue = compte.empreinteSsh.isEmpty() ? QString() : corpsEmpreinte(compte.empreinteSsh);
    d->typeCle = d->empreinteAttendue.isEmpty() ? QByteArray() : typeEmpreinte(compte.empreinteSsh);
    // As CertificatCA: a Windows path from an older Halvenor.ini works as well.
    d->cle = cheminDepuis(repertoireProgramme, compte.cleSsh);
}

void SftpClient::setFichierHotesConnus(const QString &chemin) { d->hotesConnus = chemin; }
void SftpClient::setDelaiReponse(int secondes) { d->delai = secondes > 0 ? secondes : 60; }
void SftpClient::setTransferTimeout(int ms) { d->delaiOperationMs = ms > 0 ? ms : 0; }
void SftpClient::setAnnulation(const Annulation *annulation) { d->annulation = annulation; }
const Annulation *SftpClient::annulation() const { return d->annulation; }
QString SftpClient::empreinteServeur() const { return d->empreinteVue; }
bool SftpClient::connected() const { return d->connecte; }

// NOBODY on the login directory sets the session up (host key, login, SFTP); "pwd" then
// answers with the directory's absolute path.
void SftpClient::connect()
{
    d->connecte = false;
    d->fermer();
    d->repertoire.clear();
    d->racine.clear();
    d->empreinteVue.clear();
    if (d->host.trimmed().isEmpty())
        throw FtpError(EchecFtp::de(CauseFtp::HoteVide));
    if (!d->cle.isEmpty() && !QFile::exists(d->cle))
        throw FtpError(QStringLiteral("La clé privée ") + d->cle + QStringLiteral(" (clé CleSSH) est introuvable."));
    ListeCurl pwd;
    pwd.ajouter("pwd");
    Tampon sortie;
    // A server with several host keys shows the one libssh2 prefers: when EmpreinteSSH names
    // another, each other type is asked for in turn. The type found serves the next sessions.
    QList<QByteArray> types{d->typeCle};
    if (!d->empreinteAttendue.isEmpty()) {
        for (const QByteArray &t : typesCle())
            if (t != d->typeCle)
                types << t;
    }
    QList<QByteArray> vus;
    QString premiereVue; // the first key shown: the one the refusal names
    CURLcode code = CURLE_OK;
    for (const QByteArray &type : std::as_const(types)) {
        if (!type.isEmpty() && vus.contains(type))
            continue;
        d->demanderType(type);
        d->preparer(d->urlRepertoire());
        curl_easy_setopt(d->easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(d->easy, CURLOPT_QUOTE, pwd.l);
        curl_easy_setopt(d->easy, CURLOPT_HEADERFUNCTION, &ecrireTampon);
        curl_easy_setopt(d->easy, CURLOPT_HEADERDATA, &sortie);
        code = d->executer();
        if (code == CURLE_OK)
            break;
        // Another key, or a type the server does not have (its handshake fails): the next type.
        const bool autreCle = d->refusCle == CauseFtp::CleHoteDifferente;
        if (d->cleAcceptee || (!autreCle && (code != CURLE_FAILED_INIT || type.isEmpty())))
            d->echec(code, false, true);
        if (autreCle) {
            vus << d->typeVu;
            if (premiereVue.isEmpty())
                premiereVue = d->empreinteVue;
        }
        d->fermer();
    }
    if (code != CURLE_OK) {
        d->typeCle = types.constFirst();
        if (!premiereVue.isEmpty()) {
            d->empreinteVue = premiereVue;
            d->refusCle = CauseFtp::CleHoteDifferente;
            code = CURLE_PEER_FAILED_VERIFICATION;
        }
        d->echec(code, false, true);
    }
    // 257 "/home/compte/" is current directory.
    const qsizetype debut = sortie.octets.indexOf('"');
    const qsizetype fin = sortie.octets.lastIndexOf("\" is current directory");
    if (debut < 0 || fin <= debut)
        throw FtpError(QStringLiteral("Le serveur SFTP ne donne pas son dossier de connexion."));
    d->racine = sortie.octets.mid(debut + 1, fin - debut - 1);
    while (d->racine.endsWith('/'))
        d->racine.chop(1);
    d->connecte = true;
}

void SftpClient::disconnect()
{
    d->connecte = false;
    d->repertoire.clear();
    d->fermer();
}

void SftpClient::changeDir(const QString &chemin)
{
    d->exigerConnexion();
    const QString precedent = d->repertoire;
    d->repertoire = chemin;
    // A directory URL lists it: the smallest request that fails on a missing one is a
    // stat of the directory itself.
    QString parent = chemin.section(u'/', 0, -2, QString::SectionSkipEmpty);
    const QString dernier = chemin.section(u'/', -1, -1, QString::SectionSkipEmpty);
    if (dernier.isEmpty())
        return;
    d->repertoire = parent;
    curl_off_t taille = 0, date = 0;
    const bool existe = d->stat(dernier.toUtf8(), taille, date);
    d->repertoire = existe ? chemin : precedent;
    if (!existe)
        throw FtpError(EchecFtp::de(CauseFtp::Introuvable));
}

QList<FtpEntree> SftpClient::list()
{
    d->exigerConnexion();
    Tampon texte;
    d->preparer(d->urlRepertoire());
    curl_easy_setopt(d->easy, CURLOPT_WRITEFUNCTION, &ecrireTampon);
    curl_easy_setopt(d->easy, CURLOPT_WRITEDATA, &texte);
    const CURLcode code = d->executer();
    if (texte.depasse) {
        d->connecte = false;
        d->fermer();
        throw FtpError(QStringLiteral("La liste du répertoire envoyée par le serveur dépasse %1 Mo.")
                           .arg(TailleListeMax >> 20));
    }
    if (code != CURLE_OK)
        d->echec(code);

    QList<FtpEntree> entrees = analyserList(texte.octets, QDateTime::currentDateTime());
    // One exact time sets the clock of every timed line: the newest file's, which has one.
    const FtpEntree *repere = nullptr;
    for (const FtpEntree &e : entrees) {
        if (e.type == FtpEntree::Type::Fichier && e.modification.isValid() && e.modification.time() != QTime(0, 0)
            && (!repere || e.modification > repere->modification))
            repere = &e;
    }
    if (repere) {
        const QByteArray nom = repere->brut;
        const QDateTime exacte = dateExacte(nom);
        if (exacte.isValid())
            calerDatesSftp(entrees, nom, exacte);
    }
    return entrees;
}

QDateTime SftpClient::dateExacte(const QByteArray &nomBrut)
{
    if (!nomEnvoyable(nomBrut))
        return {};
    curl_off_t taille = -1, date = -1;
    if (!d->stat(nomBrut, taille, date) || date < 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(date, QTimeZone::utc()).toLocalTime();
}

void SftpClient::get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax)
{
    d->exigerConnexion();
    if (!nomEnvoyable(nomBrut))
        throw FtpError(EchecFtp::de(CauseFtp::Introuvable));
    FichierCache fichier(cheminLocal);
    if (!fichier.ouvrir())
        echecLocal(cheminLocal, fichier.erreur());
    d->preparer(d->urlRepertoire() + d->echapper(nomBrut));
    Reception reception{&fichier, tailleMax};
    curl_easy_setopt(d->easy, CURLOPT_WRITEFUNCTION, &ecrireFichier);
    curl_easy_setopt(d->easy, CURLOPT_WRITEDATA, &reception);
    if (tailleMax > 0)
        curl_easy_setopt(d->easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tailleMax));
    const CURLcode code = d->executer();
    if (code != CURLE_OK) {
        fichier.abandonner();
        if (reception.depasse || code == CURLE_FILESIZE_EXCEEDED)
            throw FtpError(echecTaille(nomBrut, tailleMax));
        if (code == CURLE_WRITE_ERROR)
            echecLocal(cheminLocal, fichier.erreur());
        d->echec(code);
    }
    if (!fichier.terminer())
        echecLocal(cheminLocal, fichier.erreur());
}

QList<ResultatFtp> SftpClient::getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax,
                                            const std::function<void(qsizetype, const ResultatFtp &)> &termine,
                                            QList<QDateTime> *dates)
{
    d->exigerConnexion();
    // Only a handful are asked (dates on the edge of the limit): before the downloads, on this
    // session, so each is in place before its file is heard of.
    if (dates) {
        dates->fill(QDateTime(), fichiers.size());
        for (qsizetype i = 0; i < fichiers.size(); ++i) {
            if (fichiers[i].date)
                (*dates)[i] = dateExacte(fichiers[i].nomBrut);
        }
    }
    QList<ResultatFtp> resultats(fichiers.size());
    if (fichiers.isEmpty())
        return resultats;

    struct Poste
    {
        CURL *easy = nullptr;
        qsizetype index = -1;
        std::unique_ptr<FichierCache> fichier;
        Reception reception;
        char erreur[CURL_ERROR_SIZE] = {};
    };
    std::vector<Poste> postes(static_cast<size_t>(std::min<qsizetype>(std::clamp(sessions, 1, 16), fichiers.size())));
    // Each post keeps one SSH connection; the session's own serves the first.
    curl_multi_setopt(d->multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(postes.size()));
    const QByteArray repertoire = d->urlRepertoire();
    qsizetype suivant = 0;
    QList<int> essais(fichiers.size(), 0);
    QList<qsizetype> aReprendre;

    const auto liberer = [&](Poste &p) {
        if (p.easy) {
            curl_multi_remove_handle(d->multi, p.easy);
            curl_easy_cleanup(p.easy);
        }
        p.easy = nullptr;
        p.fichier.reset();
    };
    // Gives a post the next file; false when none is left.
    const auto lancer = [&](Poste &p) {
        while (!annulee(d->annulation)) {
            qsizetype i = -1;
            if (!aReprendre.isEmpty())
                i = aReprendre.takeFirst();
            else if (suivant < fichiers.size())
                i = suivant++;
            if (i < 0)
                return false;
            const Telechargement &t = fichiers[i];
            // Refused before any transfer: the file ends here, and is heard of like the others.
            const auto refuser = [&](const ResultatFtp &r) {
                resultats[i] = r;
                p.fichier.reset();
                if (termine && !annulee(d->annulation))
                    termine(i, r);
            };
            if (!nomEnvoyable(t.nomBrut)) {
                refuser(EchecFtp::de(CauseFtp::Introuvable));
                continue;
            }
            p.fichier = std::make_unique<FichierCache>(t.cheminLocal);
            if (!p.fichier->ouvrir()) {
                refuser(EchecFtp{CauseFtp::EcritureLocale, raisonFtp(CauseFtp::EcritureLocale)
                                     + QStringLiteral(" : ") + p.fichier->erreur(), {}});
                continue;
            }
            if (!p.easy) {
                p.easy = curl_easy_init();
                if (!p.easy)
                    throw FtpError(QStringLiteral("Initialisation de libcurl impossible."));
                d->optionsCommunes(p.easy, p.erreur);
                curl_easy_setopt(p.easy, CURLOPT_WRITEFUNCTION, &ecrireFichier);
                if (tailleMax > 0)
                    curl_easy_setopt(p.easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tailleMax));
            }
            p.index = i;
            p.erreur[0] = '\0';
            const QByteArray url = repertoire + d->echapper(t.nomBrut);
            curl_easy_setopt(p.easy, CURLOPT_URL, url.constData());
            p.reception = Reception{p.fichier.get(), tailleMax};
            curl_easy_setopt(p.easy, CURLOPT_WRITEDATA, &p.reception);
            if (curl_multi_add_handle(d->multi, p.easy) != CURLM_OK)
                throw FtpError(QStringLiteral("Initialisation de libcurl impossible."));
            return true;
        }
        return false;
    };

    try {
        int enCours = 0;
        for (Poste &p : postes)
            enCours += lancer(p) ? 1 : 0;
        // Cancelled, the transfers under way end through libcurl's progress call, which closes
        // their remote files (torn down mid-request, libssh2 leaks); within a second at most.
        QDeadlineTimer finAnnulation(QDeadlineTimer::Forever);
        while (enCours > 0) {
            if (annulee(d->annulation)) {
                if (finAnnulation.isForever())
                    finAnnulation.setRemainingTime(1000);
                else if (finAnnulation.hasExpired())
                    break;
            }
            int actifs = 0;
            const CURLMcode mc = curl_multi_perform(d->multi, &actifs);
            int restants = 0;
            while (CURLMsg *m = curl_multi_info_read(d->multi, &restants)) {
                if (m->msg != CURLMSG_DONE)
                    continue;
                const auto it = std::find_if(postes.begin(), postes.end(),
                                             [&](const Poste &p) { return p.easy == m->easy_handle; });
                if (it == postes.end())
                    continue;
                Poste &p = *it;
                const CURLcode code = m->data.result;
                curl_multi_remove_handle(d->multi, p.easy);
                --enCours;
                const qsizetype i = p.index;
                if (code == CURLE_OK) {
                    resultats[i] = p.fichier->terminer()
                        ? ResultatFtp()
                        : ResultatFtp(EchecFtp{CauseFtp::EcritureLocale, raisonFtp(CauseFtp::EcritureLocale)
                                                   + QStringLiteral(" : ") + p.fichier->erreur(), {}});
                } else {
                    p.fichier->abandonner();
                    if (p.reception.depasse || code == CURLE_FILESIZE_EXCEEDED) {
                        resultats[i] = echecTaille(fichiers[i].nomBrut, tailleMax);
                    } else if (sessionPerdue(code) && code != CURLE_PEER_FAILED_VERIFICATION
                               && (code == CURLE_OPERATION_TIMEDOUT ? essais[i]++ == 0
                                                                    : (enCours > 0 || essais[i]++ == 0))) {
                        // A server that caps sessions (MaxStartups, MaxSessions) refuses the extra
                        // one: this post retires while others run, and the file goes back to the
                        // queue without costing it a try, since libcurl may give the next transfer
                        // a new connection too. Posts are few, so this ends; the last post alone
                        // tries a file twice at most. A time-out says nothing of the cap: the
                        // file is tried once more, the post stays.
                        aReprendre << i;
                        if (enCours > 0 && code != CURLE_OPERATION_TIMEDOUT) {
                            liberer(p);
                            continue;
                        }
                    } else {
                        resultats[i] = d->echecDe(code, p.erreur, false);
                    }
                }
                p.fichier.reset();
                if (termine && !aReprendre.contains(i) && !annulee(d->annulation))
                    termine(i, resultats[i]);
                enCours += lancer(p) ? 1 : 0;
            }
            if (mc != CURLM_OK)
                throw FtpError(QString::fromUtf8(curl_multi_strerror(mc)));
            if (enCours > 0)
                curl_multi_poll(d->multi, nullptr, 0, 100, nullptr);
        }
        if (annulee(d->annulation))
            throw FtpError(EchecFtp::de(CauseFtp::Annulee));
    } catch (...) {
        for (Poste &p : postes)
            liberer(p);
        d->connecte = false;
        d->fermer();
        throw;
    }
    for (Poste &p : postes)
        liberer(p);
    curl_multi_setopt(d->multi, CURLMOPT_MAX_HOST_CONNECTIONS, 0L);
    return resultats;
}

void SftpClient::put(const QString &cheminLocal, const QString &nomDistant)
{
    d->exigerConnexion();
    const QByteArray nom = Impl::nomCommande(nomDistant);
    QFile fichier(cheminLocal);
    if (!fichier.open(QIODevice::ReadOnly))
        throw FtpError(QStringLiteral("Impossible de lire le fichier ") + cheminLocal + QStringLiteral(" : ")
                       + fichier.errorString());
    d->preparer(d->urlRepertoire() + d->echapper(nom));
    curl_easy_setopt(d->easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(d->easy, CURLOPT_READFUNCTION, &lireFichier);
    curl_easy_setopt(d->easy, CURLOPT_READDATA, &fichier);
    curl_easy_setopt(d->easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(fichier.size()));
    // Created 0644 whatever the server's umask would give: franchisees read with other logins.
    curl_easy_setopt(d->easy, CURLOPT_NEW_FILE_PERMS, 0644L);
    const CURLcode code = d->executer();
    if (code != CURLE_OK)
        d->echec(code, true);
}

qint64 SftpClient::size(const QString &nomDistant)
{
    curl_off_t taille = -1, date = -1;
    if (!d->stat(Impl::nomCommande(nomDistant), taille, date))
        return -1;
    return taille >= 0 ? static_cast<qint64>(taille) : -1;
}

void SftpClient::rename(const QString &ancien, const QString &nouveau)
{
    d->quote({"rename " + d->cheminQuote(Impl::nomCommande(ancien)) + ' ' + d->cheminQuote(Impl::nomCommande(nouveau))},
             true);
}

void SftpClient::remove(const QString &nomDistant)
{
    d->quote({"rm " + d->cheminQuote(Impl::nomCommande(nomDistant))}, true);
}

void SftpClient::replace(const QString &ancien, const QString &remplace)
{
    const QByteArray a = d->cheminQuote(Impl::nomCommande(ancien));
    const QByteArray r = d->cheminQuote(Impl::nomCommande(remplace));
    d->quote({"*rm " + r, "rename " + a + ' ' + r}, true);
}

bool calerDatesSftp(QList<FtpEntree> &entrees, const QByteArray &nomBrut, const QDateTime &exacte)
{
    const auto repere = std::find_if(entrees.cbegin(), entrees.cend(), [&](const FtpEntree &e) { return e.brut == nomBrut; });
    if (repere == entrees.cend() || !repere->modification.isValid() || !exacte.isValid())
        return false;
    const QDateTime liste = repere->modification; // the server's clock, read as this machine's
    // This machine's zone: the listed minute is the exact time's, to the minute.
    const QDateTime local = exacte.toLocalTime();
    const bool memeZone = local.date() == liste.date() && local.time().hour() == liste.time().hour()
                       && local.time().minute() == liste.time().minute();
    // Otherwise a fixed offset from UTC, a multiple of a quarter hour.
    const QDateTime commeUtc(liste.date(), liste.time(), QTimeZone::utc());
    const qint64 ecart = exacte.secsTo(commeUtc) + 30;
    const qint64 decalage = ((ecart + (ecart >= 0 ? 450 : -450)) / 900) * 900;
    if (!memeZone && std::abs(ecart - decalage) > 31)
        return false;
    for (FtpEntree &e : entrees) {
        if (!e.modification.isValid() || !e.sansFuseau)
            continue;
        // A line with a year and no time says nothing finer than the day (a true midnight is
        // taken for one too: it only costs an exact time if the day matters).
        if (e.modification.time() == QTime(0, 0))
            continue;
        if (!memeZone)
            e.modification = QDateTime(e.modification.date(), e.modification.time(), QTimeZone::utc())
                                 .addSecs(-decalage)
                                 .toLocalTime();
        e.sansFuseau = false;
    }
    return true;
}
