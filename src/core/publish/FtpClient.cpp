#include "core/publish/FtpClient.h"

#include "core/base/EcritureSure.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <curl/curl.h>

#include <mutex>

namespace {

// No operation may block the window for good: a server that stops answering fails
// the operation after this long (control replies, and transfers without a byte).
constexpr long delaiReponseSecondes = 60;

// A listing of 100,000 entries is about 7 MB: beyond this, the server is hostile or broken.
constexpr qsizetype TailleListeMax = 32 << 20;

struct Tampon
{
    QByteArray octets;
    bool depasse = false;
};

size_t ecrireTampon(char *donnees, size_t taille, size_t nombre, void *contexte)
{
    auto *tampon = static_cast<Tampon *>(contexte);
    if (tampon->octets.size() + qsizetype(taille * nombre) > TailleListeMax) {
        tampon->depasse = true;
        return 0; // curl stops the transfer
    }
    tampon->octets.append(donnees, static_cast<qsizetype>(taille * nombre));
    return taille * nombre;
}

struct Reception
{
    QSaveFile *fichier;
    qint64 tailleMax; // 0: none
    bool depasse = false;
};

size_t ecrireFichier(char *donnees, size_t taille, size_t nombre, void *contexte)
{
    auto *r = static_cast<Reception *>(contexte);
    if (r->tailleMax > 0 && r->fichier->pos() + qint64(taille * nombre) > r->tailleMax) {
        r->depasse = true;
        return 0;
    }
    const qint64 n = r->fichier->write(donnees, static_cast<qint64>(taille * nombre));
    return n < 0 ? 0 : static_cast<size_t>(n);
}

size_t lireFichier(char *donnees, size_t taille, size_t nombre, void *fichier)
{
    const qint64 n = static_cast<QFile *>(fichier)->read(donnees, static_cast<qint64>(taille * nombre));
    return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

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

} // namespace

struct FtpClient::Impl
{
    CURL *easy = nullptr;
    CURLM *multi = nullptr;

    QString host;
    int port = 21;
    QString user;
    QString password;
    int transferTimeout = 0;
    bool passive = true;
    bool binary = true;

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

    static size_t entete(char *donnees, size_t taille, size_t nombre, void *moi)
    {
        const QByteArray ligne = QByteArray(donnees, static_cast<qsizetype>(taille * nombre)).trimmed();
        if (!ligne.isEmpty())
            static_cast<Impl *>(moi)->derniereReponse = ligne;
        return taille * nombre;
    }

    QByteArray urlBase() const
    {
        return "ftp://" + host.trimmed().toUtf8() + ':' + QByteArray::number(port) + '/';
    }

    QByteArray echapper(const QString &partie) const
    {
        const QByteArray brut = partie.toUtf8();
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
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, erreur);
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::entete);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, CURLFTPMETHOD_SINGLECWD);
        // Data connections go to the control connection's address, whatever PASV announces:
        // a server cannot send us to another machine.
        curl_easy_setopt(easy, CURLOPT_FTP_SKIP_PASV_IP, 1L);
        curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
        if (!passive)
            curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, delaiReponseSecondes);
        curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, delaiReponseSecondes);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, delaiReponseSecondes);
        if (transferTimeout > 0)
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(transferTimeout));
    }

    // Runs the prepared operation through our multi handle. curl_easy_perform in 7.88
    // waits a whole second before some passive data connections; polling at most 10 ms
    // at a time avoids it.
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

    // curl's own text, then the server's refusal: a bare "550" tells the user nothing.
    [[noreturn]] void echec(CURLcode code, bool fermerSession = false)
    {
        QString texte = QString::fromUtf8(erreur).trimmed();
        if (texte.isEmpty())
            texte = QString::fromUtf8(curl_easy_strerror(code));
        const bool refus = derniereReponse.startsWith('4') || derniereReponse.startsWith('5');
        if (refus)
            texte += QStringLiteral(" (") + texteServeur(derniereReponse) + u')';
        if (fermerSession || sessionPerdue(code)) {
            connecte = false;
            fermer();
        }
        if (code == CURLE_LOGIN_DENIED)
            throw EIdFTPAUTHException(texte);
        throw FtpError(texte);
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
    d->preparer(d->urlBase());
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

void FtpClient::get(const QString &nomDistant, const QString &cheminLocal, qint64 tailleMax)
{
    d->exigerConnexion();
    // The previous local copy stays until the whole file has arrived.
    QSaveFile fichier(cheminLocal);
    if (!fichier.open(QIODevice::WriteOnly))
        throw FtpError(QStringLiteral("Impossible d'écrire le fichier ") + cheminLocal + QStringLiteral(" : ")
                       + fichier.errorString());
    d->preparer(d->urlRepertoire() + d->echapper(nomDistant));
    Reception reception{&fichier, tailleMax};
    curl_easy_setopt(d->easy, CURLOPT_WRITEFUNCTION, &ecrireFichier);
    curl_easy_setopt(d->easy, CURLOPT_WRITEDATA, &reception);
    if (tailleMax > 0) // refused at once when the server announces the size
        curl_easy_setopt(d->easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(tailleMax));
    const CURLcode code = d->executer();
    if (code != CURLE_OK) {
        fichier.cancelWriting();
        if (reception.depasse || code == CURLE_FILESIZE_EXCEEDED) {
            d->connecte = false;
            d->fermer();
            throw FtpError(QStringLiteral("Le fichier ") + nomDistant
                           + QStringLiteral(" dépasse la taille permise (%1 Mo) : il n'est pas téléchargé.")
                                 .arg(tailleMax >> 20));
        }
        d->echec(code);
    }
    if (const QString raison = terminerEcriture(fichier, fichier.pos()); !raison.isEmpty())
        throw FtpError(QStringLiteral("Impossible d'écrire le fichier ") + cheminLocal + QStringLiteral(" : ")
                       + raison);
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
