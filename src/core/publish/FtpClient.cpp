#include "core/publish/FtpClient.h"
#include "core/publish/RappelsCurl.h"

#include "core/base/Chemins.h"
#include "core/base/EcritureSure.h"
#include "core/config/Parametres.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <optional>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// No operation may wait for good: a server that stops answering fails
// the operation after this long (control replies, and transfers without a byte).
long g_delaiReponseSecondes = 60;

} // namespace

void definirDelaiReponseFtp(int secondes)
{
    g_delaiReponseSecondes = secondes > 0 ? secondes : 60;
}

namespace {

using namespace rappelscurl;

// Failures after which curl has dropped the control connection: the session is over.
bool sessionPerdue(CURLcode code)
{
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_LOGIN_DENIED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return true;
    default:
        return false;
    }
}

// Over TLS 1.3 the server sends session tickets on each data connection after the handshake.
// An upload never reads them, and a socket closed with unread bytes sends a reset that can
// reach the server before the end of the upload: vsftpd then fails it ("426 Failure reading
// network stream"). So a socket is closed gracefully: our FIN, then what the server still
// sends is read and dropped until its own FIN (half a second at most).
int fermerSocket(void *, curl_socket_t s)
{
    ::shutdown(s, SHUT_WR);
    char poubelle[4096];
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (true) {
        const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(fin - std::chrono::steady_clock::now());
        pollfd p{s, POLLIN, 0};
        if (reste.count() <= 0 || ::poll(&p, 1, static_cast<int>(reste.count())) <= 0)
            break;
        if (::recv(s, poubelle, sizeof poubelle, MSG_DONTWAIT) <= 0)
            break;
    }
    return ::close(s);
}

} // namespace

struct FtpClient::Impl
{
    CURL *easy = nullptr;
    CURLM *multi = nullptr;

    QString host;
    int port = CompteFtp::PortParDefaut;
    QString user;
    QString password;
    int transferTimeout = 0;
    bool passive = true;
    bool binary = true;
    bool tls = false;
    QString certificatCA;
    const Annulation *annulation = nullptr;
    QByteArray autorites; // the system store and certificatCA, PEM; empty: curl's own store

    bool connecte = false;
    QString repertoire;      // absolute, set by changeDir; empty: the login directory
    bool sansMlsd = false;   // the server refused MLSD once: list with LIST
    char erreur[CURL_ERROR_SIZE] = {};
    QByteArray derniereReponse; // the server's last reply line of the current operation

    ~Impl() { fermer(); }

    // Closing the multi handle closes its cached connection, which sends QUIT.
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

    // `reponse` is the QByteArray that keeps the last reply line.
    static size_t entete(char *donnees, size_t taille, size_t nombre, void *reponse)
    {
        const QByteArray ligne = QByteArray(donnees, static_cast<qsizetype>(taille * nombre)).trimmed();
        if (!ligne.isEmpty())
            *static_cast<QByteArray *>(reponse) = ligne;
        return taille * nombre;
    }

    // The options every handle of this session carries, whatever the operation.
    void optionsCommunes(CURL *h, char *tamponErreur, void *entetes) const
    {
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, tamponErreur);
        curl_easy_setopt(h, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::entete);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, entetes);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &progression);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &annulation);
        curl_easy_setopt(h, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, CURLFTPMETHOD_SINGLECWD);
        // Data connections go to the control connection's address, whatever PASV announces:
        // a server cannot send us to another machine.
        curl_easy_setopt(h, CURLOPT_FTP_SKIP_PASV_IP, 1L);
        curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
        if (!passive)
            curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, g_delaiReponseSecondes);
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, g_delaiReponseSecondes);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, g_delaiReponseSecondes);
        if (transferTimeout > 0)
            curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(transferTimeout));
        if (tls) {
            curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
            curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &fermerSocket);
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!autorites.isEmpty()) {
                curl_blob blob{const_cast<char *>(autorites.constData()), static_cast<size_t>(autorites.size()),
                               CURL_BLOB_NOCOPY};
                curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
            }
        }
    }

    QByteArray urlBase() const
    {
        return "ftp://" + host.trimmed().toUtf8() + ':' + QByteArray::number(port) + '/';
    }

    QByteArray echapper(const QString &partie) const { return echapper(partie.toUtf8()); }
    QByteArray echapper(const QByteArray &brut) const
    {
        char *e = curl_easy_escape(easy, brut.constData(), static_cast<int>(brut.size()));
        QByteArray r(e);
        curl_free(e);
        return r;
    }

    // Paths in an FTP URL are relative to the login directory; %2F makes them absolute.
    QByteArray urlRepertoire() const
    {
        QByteArray url = urlBase();
        if (repertoire.isEmpty())
            return url;
        url += "%2F";
        const QStringList parties = repertoire.split(u'/', Qt::SkipEmptyParts);
        for (const QString &p : parties)
            url += echapper(p) + '/';
        if (parties.isEmpty())
            url += '/';
        return url;
    }

    // The system bundle followed by certificatCA: CAINFO alone would replace the system store.
    void chargerAutorites()
    {
        autorites.clear();
        if (certificatCA.isEmpty())
            return;
        QFile ca(certificatCA);
        if (!ca.open(QIODevice::ReadOnly))
            throw FtpError(QStringLiteral("Impossible de lire le certificat ") + certificatCA
                           + QStringLiteral(" (clé CertificatCA) : ") + ca.errorString());
        const QByteArray pem = ca.readAll();
        if (!pem.contains("-----BEGIN CERTIFICATE-----"))
            throw FtpError(QStringLiteral("Le fichier ") + certificatCA
                           + QStringLiteral(" (clé CertificatCA) ne contient aucun certificat PEM."));
        char *systeme = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CAINFO, &systeme);
        if (systeme) {
            QFile f(QString::fromLocal8Bit(systeme));
            if (f.open(QIODevice::ReadOnly))
                autorites = f.readAll() + '\n';
        }
        autorites += pem;
    }

    // Fresh options for one operation; the logged-in connection survives the reset.
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
        derniereReponse.clear();

        curl_easy_setopt(easy, CURLOPT_URL, url.constData());
        optionsCommunes(easy, erreur, &derniereReponse);
    }

    // Raw commands, sent once curl stands in the current directory; a leading '*' lets one
    // fail. The last reply line stays in derniereReponse.
    void commandes(const QList<QByteArray> &lignes)
    {
        exigerConnexion();
        ListeCurl liste;
        for (const QByteArray &l : lignes)
            liste.l = curl_slist_append(liste.l, l.constData());
        preparer(urlRepertoire());
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTQUOTE, liste.l);
        const CURLcode code = executer();
        curl_easy_setopt(easy, CURLOPT_POSTQUOTE, nullptr);
        if (code != CURLE_OK)
            echec(code);
    }

    // A name goes into a command line as is: a line break in it would be a second command.
    static QByteArray nomCommande(const QString &nom)
    {
        if (nom.isEmpty() || nom.contains(u'\r') || nom.contains(u'\n') || nom.contains(QChar(0)))
            throw FtpError(QStringLiteral("Nom de fichier distant invalide."));
        return nom.toUtf8();
    }

    // Runs the prepared operation through our multi handle. curl_easy_perform in 7.88
    // waits a whole second before some passive data connections; polling at most 10 ms
    // at a time avoids it, and gives the progress call its turn to see a cancellation.
    CURLcode executer()
    {
        CURLMcode mc = curl_multi_add_handle(multi, easy);
        if (mc != CURLM_OK)
            throw FtpError(QString::fromUtf8(curl_multi_strerror(mc)));
        int actifs = 1;
        while (mc == CURLM_OK) {
            mc = curl_multi_perform(multi, &actifs);
            if (mc != CURLM_OK || actifs == 0)
                break;
            mc = curl_multi_poll(multi, nullptr, 0, 10, nullptr);
        }
        CURLcode resultat = CURLE_OK;
        bool termine = false;
        int restants = 0;
        while (CURLMsg *m = curl_multi_info_read(multi, &restants)) {
            if (m->msg == CURLMSG_DONE && m->easy_handle == easy) {
                resultat = m->data.result;
                termine = true;
            }
        }
        curl_multi_remove_handle(multi, easy);
        if (mc != CURLM_OK)
            throw FtpError(QString::fromUtf8(curl_multi_strerror(mc)));
        return termine ? resultat : CURLE_GOT_NOTHING;
    }

    long codeReponse() const
    {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // The French reason, then the server's refusal: a bare "550" tells the user nothing.
    [[noreturn]] void echec(CURLcode code, bool fermerSession = false)
    {
        if (code == CURLE_ABORTED_BY_CALLBACK && annulee(annulation)) {
            // Stopped mid-reply: the connection's state is unknown, it goes.
            connecte = false;
            fermer();
            throw FtpError(EchecFtp::de(CauseFtp::Annulee));
        }
        EchecFtp e = echecCurl(code, codeReponse(), derniereReponse, QByteArray(erreur));
        if (e.cause == CauseFtp::TlsNomHote)
            e.raison += QStringLiteral(" « ") + host.trimmed() + QStringLiteral(" »");
        // A server may echo what it was sent: the password never reaches a message. The
        // reason is our own wording and never holds it.
        e.reponse = masquerMotDePasse(e.reponse, password);
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
            throw FtpError(QStringLiteral("Pas de session ouverte avec le serveur FTP."));
    }

    QByteArray lister(const char *commande)
    {
        Tampon texte;
        preparer(urlRepertoire());
        if (commande)
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, commande);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ecrireTampon);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &texte);
        const CURLcode code = executer();
        if (texte.depasse) {
            // The rest of the listing may still be on its way: the session cannot go on.
            connecte = false;
            fermer();
            throw FtpError(QStringLiteral("La liste du répertoire envoyée par le serveur dépasse %1 Mo.")
                               .arg(TailleListeMax >> 20));
        }
        if (code != CURLE_OK) {
            const long reponse = codeReponse();
            if (commande && (reponse == 500 || reponse == 501 || reponse == 502 || reponse == 504)) {
                sansMlsd = true;
                return lister(nullptr);
            }
            echec(code);
        }
        return texte.octets;
    }
};

FtpClient::FtpClient()
    : d(std::make_unique<Impl>())
{
    // Harmless when main() already did it; test programs have no main of their own.
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

FtpClient::~FtpClient() = default;

void FtpClient::setHost(const QString &host) { d->host = host; }
void FtpClient::setPort(int port) { d->port = port; }
void FtpClient::setUsername(const QString &user) { d->user = user; }
void FtpClient::setPassword(const QString &password) { d->password = password; }
void FtpClient::setTransferTimeout(int ms) { d->transferTimeout = ms; }
void FtpClient::setPassive(bool passive) { d->passive = passive; }
void FtpClient::setBinary(bool binary) { d->binary = binary; }
void FtpClient::setTls(bool tls) { d->tls = tls; }
void FtpClient::setCertificatCA(const QString &chemin) { d->certificatCA = chemin; }
void FtpClient::setAnnulation(const Annulation *annulation) { d->annulation = annulation; }
const Annulation *FtpClient::annulation() const { return d->annulation; }

bool FtpClient::connected() const
{
    return d->connecte;
}

// NOBODY on the root URL logs in (USER, PASS, PWD) and keeps the connection for what follows.
void FtpClient::connect()
{
    d->connecte = false;
    d->fermer();
    d->repertoire.clear();
    d->sansMlsd = false;
    d->autorites.clear();
    d->preparer(d->urlBase());
    if (d->tls) {
        d->chargerAutorites();
        d->preparer(d->urlBase());
    }
    curl_easy_setopt(d->easy, CURLOPT_NOBODY, 1L);
    const CURLcode code = d->executer();
    if (code != CURLE_OK)
        d->echec(code, true);
    d->connecte = true;
}

void FtpClient::disconnect()
{
    d->connecte = false;
    d->repertoire.clear();
    d->fermer();
}

void FtpClient::changeDir(const QString &absolu)
{
    d->exigerConnexion();
    const QString precedent = d->repertoire;
    d->repertoire = absolu;
    // NOBODY on the directory URL makes curl change to it, so a missing directory fails here.
    d->preparer(d->urlRepertoire());
    curl_easy_setopt(d->easy, CURLOPT_NOBODY, 1L);
    const CURLcode code = d->executer();
    if (code != CURLE_OK) {
        d->repertoire = precedent;
        d->echec(code);
    }
}

QList<FtpEntree> FtpClient::list()
{
    d->exigerConnexion();
    if (!d->sansMlsd) {
        const QByteArray texte = d->lister("MLSD");
        if (!d->sansMlsd) // else the server refused MLSD and this is LIST's answer
            return analyserMlsd(texte);
        return analyserList(texte, QDateTime::currentDateTime());
    }
    return analyserList(d->lister(nullptr), QDateTime::currentDateTime());
}

namespace {
// A name with a line break would end the command early and start another.
bool nomEnvoyable(const QByteArray &nom)
{
    return !nom.isEmpty() && !nom.contains('\r') && !nom.contains('\n') && !nom.contains('\0');
}

} // namespace

void FtpClient::get(const QByteArray &nomBrut, const QString &cheminLocal, qint64 tailleMax)
{
    d->exigerConnexion();
    if (!nomEnvoyable(nomBrut))
        throw FtpError(EchecFtp::de(CauseFtp::Introuvable));
    // The previous local copy stays until the whole file has arrived.
    FichierCache fichier(cheminLocal);
    if (!fichier.ouvrir())
        echecLocal(cheminLocal, fichier.erreur());
    d->preparer(d->urlRepertoire() + d->echapper(nomBrut));
    // No SIZE before RETR: the transfer's end tells whether the file is whole.
    curl_easy_setopt(d->easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    Reception reception{&fichier, tailleMax};
    curl_easy_setopt(d->easy, CURLOPT_WRITEFUNCTION, &ecrireFichier);
    curl_easy_setopt(d->easy, CURLOPT_WRITEDATA, &reception);
    if (tailleMax > 0) // refused at once when the server announces the size
        curl_easy_setopt(d->easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tailleMax));
    const CURLcode code = d->executer();
    if (code != CURLE_OK) {
        fichier.abandonner();
        if (reception.depasse || code == CURLE_FILESIZE_EXCEEDED) {
            d->connecte = false;
            d->fermer();
            throw FtpError(echecTaille(nomBrut, tailleMax));
        }
        if (code == CURLE_WRITE_ERROR)
            echecLocal(cheminLocal, fichier.erreur());
        d->echec(code);
    }
    if (!fichier.terminer())
        echecLocal(cheminLocal, fichier.erreur());
}

QDateTime FtpClient::mdtm(const QByteArray &nomBrut)
{
    d->exigerConnexion();
    if (!nomEnvoyable(nomBrut))
        return {};
    d->preparer(d->urlRepertoire());
    curl_easy_setopt(d->easy, CURLOPT_NOBODY, 1L);
    // Quoted commands go before curl's CWD: the path is absolute.
    QByteArray chemin = d->repertoire.toUtf8();
    while (chemin.endsWith('/'))
        chemin.chop(1);
    chemin = chemin.isEmpty() ? nomBrut : chemin + '/' + nomBrut;
    const QByteArray commande = "MDTM " + chemin;
    ListeCurl commandes;
    commandes.l = curl_slist_append(nullptr, commande.constData());
    curl_easy_setopt(d->easy, CURLOPT_QUOTE, commandes.l);
    Tampon reponses;
    curl_easy_setopt(d->easy, CURLOPT_HEADERFUNCTION, &ecrireTampon);
    curl_easy_setopt(d->easy, CURLOPT_HEADERDATA, &reponses);
    const CURLcode code = d->executer();
    curl_easy_setopt(d->easy, CURLOPT_QUOTE, nullptr);
    if (code != CURLE_OK) {
        if (sessionPerdue(code))
            d->echec(code);
        return {}; // 550 and the like: the listing's date stands
    }
    for (const QByteArray &ligne : reponses.octets.split('\n')) {
        if (ligne.startsWith("213 "))
            return dateMdtm(ligne.trimmed());
    }
    return {};
}

QList<qsizetype> FtpClient::datesListe(QList<FtpEntree> &entrees, const QDate &limite)
{
    // Far from the limit a LIST date decides nothing, whatever the zone: no MDTM at all.
    const bool utile = std::any_of(entrees.cbegin(), entrees.cend(), [&](const FtpEntree &e) {
        return e.sansFuseau && dateListeIncertaine(e.modification, limite);
    });
    if (!utile)
        return {};
    // The sample is the time nearest to the limit: its zone is the one of that season. A file
    // gone or refused since the listing (550) gives way to the next nearest, a few at most.
    const QDateTime minuit(limite, QTime(0, 0));
    std::vector<std::pair<qint64, qsizetype>> candidats;
    for (qsizetype i = 0; i < entrees.size(); ++i) {
        const FtpEntree &e = entrees[i];
        if (e.sansFuseau && !e.sansHeure && e.modification.isValid())
            candidats.emplace_back(std::abs(e.modification.secsTo(minuit)), i);
    }
    constexpr size_t EchantillonsMax = 3;
    const size_t essais = std::min(candidats.size(), EchantillonsMax);
    std::partial_sort(candidats.begin(), candidats.begin() + static_cast<std::ptrdiff_t>(essais), candidats.end());
    std::optional<qint64> decalage;
    for (size_t k = 0; k < essais && !decalage; ++k) {
        FtpEntree &e = entrees[candidats[k].second];
        const QDateTime exacte = mdtm(e.brut);
        if (!exacte.isValid())
            continue;
        decalage = decalageListe(e.modification, exacte);
        e.modification = exacte;
        e.sansFuseau = false;
    }
    QList<qsizetype> incertaines;
    for (qsizetype i = 0; i < entrees.size(); ++i) {
        FtpEntree &e = entrees[i];
        if (!e.sansFuseau)
            continue;
        if (decalage && !e.sansHeure) {
            e.modification = dateListeCorrigee(e.modification, *decalage);
            e.sansFuseau = false;
            if (dateCorrigeeIncertaine(e.modification, limite))
                incertaines << i;
        } else if (dateListeIncertaine(e.modification, limite)) {
            incertaines << i;
        }
    }
    return incertaines;
}

namespace {

// One transfer on one session's own handles, polled 10 ms at a time like Impl::executer();
// `arret` ends it early.
CURLcode transfererSur(CURLM *multi, CURL *easy, const std::atomic<bool> &arret)
{
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLMcode mc = CURLM_OK;
    int actifs = 1;
    while (mc == CURLM_OK && !arret.load()) {
        mc = curl_multi_perform(multi, &actifs);
        if (mc != CURLM_OK || actifs == 0)
            break;
        mc = curl_multi_poll(multi, nullptr, 0, 10, nullptr);
    }
    CURLcode resultat = arret.load() ? CURLE_ABORTED_BY_CALLBACK : CURLE_GOT_NOTHING;
    int restants = 0;
    while (CURLMsg *m = curl_multi_info_read(multi, &restants)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == easy)
            resultat = m->data.result;
    }
    curl_multi_remove_handle(multi, easy);
    return mc == CURLM_OK ? resultat : CURLE_FAILED_INIT;
}

// A server that wants fewer sessions says so at login (421 in its greeting, 530 for the
// extra login) or refuses the connection outright.
bool sessionRefusee(CURLcode code, long codeFtp)
{
    return codeFtp == 421 || codeFtp == 530 || code == CURLE_COULDNT_CONNECT || code == CURLE_LOGIN_DENIED
        || (sessionPerdue(code) && code != CURLE_OPERATION_TIMEDOUT);
}

} // namespace

QList<ResultatFtp> FtpClient::getParallele(const QList<Telechargement> &fichiers, int sessions, qint64 tailleMax,
                                           const std::function<void(qsizetype, const ResultatFtp &)> &termine,
                                           QList<QDateTime> *dates)
{
    d->exigerConnexion();
    QList<ResultatFtp> resultats(fichiers.size());
    if (dates)
        *dates = QList<QDateTime>(fichiers.size());
    if (fichiers.isEmpty())
        return resultats;
    sessions = static_cast<int>(std::min<qsizetype>(std::clamp(sessions, 1, CompteFtp::ConnexionsMax), fichiers.size()));

    // Every session is one easy handle on one multi handle of its own: its connection is never
    // lent to another handle, so each data connection offers the TLS session of its own control
    // connection, as vsftpd and ProFTPD require. Session 0 is the logged-in one.
    struct Session
    {
        CURL *easy = nullptr;
        CURLM *multi = nullptr;
        bool propre = false; // its handles are ours to clean up
        bool connectee = false;
        QByteArray reponse;
        char erreur[CURL_ERROR_SIZE] = {};
    };
    std::vector<Session> postes(static_cast<size_t>(sessions));
    postes[0].easy = d->easy;
    postes[0].multi = d->multi;
    postes[0].connectee = true;
    for (size_t k = 1; k < postes.size(); ++k) {
        postes[k].easy = curl_easy_init();
        postes[k].multi = curl_multi_init();
        postes[k].propre = true;
        if (!postes[k].easy || !postes[k].multi) {
            for (Session &p : postes) {
                if (p.propre) {
                    curl_easy_cleanup(p.easy);
                    curl_multi_cleanup(p.multi);
                }
            }
            throw FtpError(QStringLiteral("Initialisation de libcurl impossible."));
        }
    }
    // URLs are built here: escaping is not the threads' business.
    const QByteArray repertoire = d->urlRepertoire();
    QList<QByteArray> urls;
    urls.reserve(fichiers.size());
    for (const Telechargement &t : fichiers)
        urls << repertoire + d->echapper(t.nomBrut);

    std::mutex verrou;
    std::condition_variable signal;
    std::deque<qsizetype> aFaire;
    for (qsizetype i = 0; i < fichiers.size(); ++i)
        aFaire.push_back(i);
    QList<int> essais(fichiers.size(), 0);
    int vivantes = sessions; // sessions still taking files
    int enVol = 0;           // files being transferred
    std::atomic<int> finies{0}; // threads returned; atomic: read after wait_for, which TSan cannot follow
    std::atomic<bool> arret{false};
    std::deque<qsizetype> finis; // files done, for `termine`, heard on this thread
    std::vector<QDateTime> exactes(static_cast<size_t>(fichiers.size())); // MDTM, written by the threads
    constexpr int EssaisMax = 3;

    auto travailler = [&](Session &p) {
        std::unique_lock<std::mutex> l(verrou);
        while (true) {
            // A file put back by a session that lost its connection may still come: wait for it.
            signal.wait(l, [&] { return !aFaire.empty() || enVol == 0 || arret.load(); });
            if (aFaire.empty() || arret.load())
                break;
            const qsizetype i = aFaire.front();
            aFaire.pop_front();
            ++enVol;
            l.unlock();

            const Telechargement &t = fichiers[i];
            ResultatFtp resultat;
            bool remettre = false;
            bool quitter = false;
            bool abandon = false; // cancelled: the file has no result
            QDateTime date;
            if (!nomEnvoyable(t.nomBrut)) {
                resultat = EchecFtp::de(CauseFtp::Introuvable);
            } else {
                FichierCache fichier(t.cheminLocal);
                if (!fichier.ouvrir()) {
                    resultat = EchecFtp{CauseFtp::EcritureLocale, raisonFtp(CauseFtp::EcritureLocale), {}};
                } else {
                    curl_easy_reset(p.easy);
                    p.erreur[0] = '\0';
                    p.reponse.clear();
                    d->optionsCommunes(p.easy, p.erreur, &p.reponse);
                    curl_easy_setopt(p.easy, CURLOPT_URL, urls[i].constData());
                    curl_easy_setopt(p.easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
                    curl_easy_setopt(p.easy, CURLOPT_WRITEFUNCTION, &ecrireFichier);
                    Reception reception{&fichier, tailleMax};
                    curl_easy_setopt(p.easy, CURLOPT_WRITEDATA, &reception);
                    if (tailleMax > 0)
                        curl_easy_setopt(p.easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tailleMax));
                    // MDTM on this file's own session, just before its RETR.
                    if (t.date)
                        curl_easy_setopt(p.easy, CURLOPT_FILETIME, 1L);
                    const CURLcode code = transfererSur(p.multi, p.easy, arret);
                    long codeFtp = 0;
                    curl_easy_getinfo(p.easy, CURLINFO_RESPONSE_CODE, &codeFtp);
                    if (code == CURLE_OK) {
                        p.connectee = true;
                        if (t.date) {
                            curl_off_t secondes = -1;
                            if (curl_easy_getinfo(p.easy, CURLINFO_FILETIME_T, &secondes) == CURLE_OK && secondes >= 0)
                                date = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(secondes));
                        }
                        if (const ResultatEcriture e = fichier.terminer(); !e)
                            resultat = EchecFtp{CauseFtp::EcritureLocale,
                                                raisonFtp(CauseFtp::EcritureLocale) + QStringLiteral(" : ") + fichier.erreur(), {}};
                    } else {
                        fichier.abandonner();
                        if (reception.depasse || code == CURLE_FILESIZE_EXCEEDED) {
                            resultat = echecTaille(t.nomBrut, tailleMax);
                        } else if (code == CURLE_ABORTED_BY_CALLBACK && (arret.load() || annulee(d->annulation))) {
                            quitter = abandon = true;
                        } else if (sessionRefusee(code, codeFtp)) {
                            // Refused at login, cut, or told "421": the file goes to another
                            // session. A refused login costs the file nothing.
                            // Decided and counted under the lock: two sessions refused at
                            // once must not both retire the last one.
                            std::lock_guard<std::mutex> g(verrou);
                            const bool refusAuLogin = !p.connectee;
                            quitter = vivantes > 1;
                            if (quitter)
                                --vivantes;
                            remettre = (refusAuLogin && quitter) || (!refusAuLogin && ++essais[i] < EssaisMax);
                            if (!remettre)
                                resultat = echecCurl(code, codeFtp, p.reponse, QByteArray(p.erreur));
                            p.connectee = false;
                        } else {
                            resultat = echecCurl(code, codeFtp, p.reponse, QByteArray(p.erreur));
                        }
                    }
                }
            }

            l.lock();
            --enVol;
            if (remettre) {
                aFaire.push_front(i);
            } else if (!abandon) {
                resultats[i] = resultat;
                finis.push_back(i);
            }
            if (date.isValid())
                exactes[static_cast<size_t>(i)] = date;
            if (quitter)
                break;
            signal.notify_all();
        }
        ++finies;
        signal.notify_all();
    };

    std::vector<std::thread> fils;
    fils.reserve(postes.size());
    for (Session &p : postes)
        fils.emplace_back(travailler, std::ref(p));

    auto terminer = [&] {
        for (std::thread &f : fils)
            f.join();
        for (Session &p : postes) {
            if (p.propre) {
                curl_easy_cleanup(p.easy);
                curl_multi_cleanup(p.multi);
            }
        }
    };
    // The caller's thread hears each file as it ends, and watches the cancellation.
    auto annoncer = [&](std::unique_lock<std::mutex> &l) {
        while (!finis.empty()) {
            const qsizetype i = finis.front();
            finis.pop_front();
            const ResultatFtp r = resultats[i];
            if (dates)
                (*dates)[i] = exactes[static_cast<size_t>(i)];
            l.unlock();
            if (termine && !annulee(d->annulation))
                termine(i, r);
            l.lock();
        }
    };
    try {
        std::unique_lock<std::mutex> l(verrou);
        while (finies < sessions || !finis.empty()) {
            annoncer(l);
            if (annulee(d->annulation))
                throw FtpError(EchecFtp::de(CauseFtp::Annulee));
            if (finies < sessions)
                signal.wait_for(l, std::chrono::milliseconds(20));
        }
    } catch (...) {
        arret = true;
        signal.notify_all();
        terminer();
        // Cancelled or broken half-way: the connections are in an unknown state.
        d->connecte = false;
        d->fermer();
        throw;
    }
    terminer();
    return resultats;
}

void FtpClient::put(const QString &cheminLocal, const QString &nomDistant)
{
    d->exigerConnexion();
    QFile fichier(cheminLocal);
    if (!fichier.open(QIODevice::ReadOnly))
        throw FtpError(QStringLiteral("Impossible de lire le fichier ") + cheminLocal + QStringLiteral(" : ")
                       + fichier.errorString());
    d->preparer(d->urlRepertoire() + d->echapper(nomDistant));
    curl_easy_setopt(d->easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(d->easy, CURLOPT_READFUNCTION, &lireFichier);
    curl_easy_setopt(d->easy, CURLOPT_READDATA, &fichier);
    curl_easy_setopt(d->easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(fichier.size()));
    const CURLcode code = d->executer();
    if (code != CURLE_OK)
        d->echec(code);
}

qint64 FtpClient::size(const QString &nomDistant)
{
    d->commandes({"*SIZE " + Impl::nomCommande(nomDistant)});
    const QByteArray r = d->derniereReponse;
    bool ok = false;
    const qint64 taille = r.startsWith("213 ") ? r.mid(4).trimmed().toLongLong(&ok) : -1;
    return ok && taille >= 0 ? taille : -1;
}

void FtpClient::rename(const QString &ancien, const QString &nouveau)
{
    d->commandes({"RNFR " + Impl::nomCommande(ancien), "RNTO " + Impl::nomCommande(nouveau)});
}

void FtpClient::remove(const QString &nomDistant)
{
    d->commandes({"DELE " + Impl::nomCommande(nomDistant)});
}

void FtpClient::replace(const QString &ancien, const QString &remplace)
{
    d->commandes({"*DELE " + Impl::nomCommande(remplace), "RNFR " + Impl::nomCommande(ancien),
                  "RNTO " + Impl::nomCommande(remplace)});
}

void FtpClient::configurer(const CompteFtp &compte, const QString &repertoireProgramme)
{
    setHost(compte.Host);
    setUsername(compte.Login);
    setPassword(compte.Mdp);
    setPort(compte.Port);
    setTransferTimeout(0);
    setTls(compte.tls);
    setCertificatCA(cheminDepuis(repertoireProgramme, compte.certificatCA));
}
