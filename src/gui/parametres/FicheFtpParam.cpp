#include "gui/parametres/FicheFtpParam.h"
#include "ui_FicheFtpParam.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "gui/Action.h"
#include "gui/Dialogues.h"
#include "gui/CurseurOccupe.h"
#include "gui/Tache.h"
#include "core/publish/SftpClient.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// The port as typed: decimal digits with an optional sign, nothing else.
int convertirPort(const QString &texte)
{
    int valeur = 0;
    if (!formats::lireEntier(texte, valeur))
        throw HalvenorError(u'\'' + texte + QStringLiteral("' n'est pas une valeur entière valide."));
    return valeur;
}

// The entries of cbProtocole, in the form's order.
constexpr int IndexFtp = 0;
constexpr int IndexSftp = 1;

constexpr int MargeTexte = 8;
constexpr int LargeurTexte = 90;

} // namespace

QSize BoutonMultiligne::sizeHint() const
{
    const QRect texte = fontMetrics().boundingRect(QRect(0, 0, LargeurTexte, 1000),
                                                   Qt::AlignCenter | Qt::TextWordWrap, text());
    return {texte.width() + 2 * MargeTexte, texte.height() + 2 * MargeTexte};
}

void BoutonMultiligne::paintEvent(QPaintEvent *)
{
    QStylePainter peintre(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    peintre.drawControl(QStyle::CE_PushButton, option);
    peintre.drawItemText(rect().adjusted(MargeTexte, MargeTexte, -MargeTexte, -MargeTexte),
                         Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

TFicheFtpParam::TFicheFtpParam(QWidget *owner, QuelCompte compte, QString cheminIni)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheFtpParam),
      m_compte(compte),
      m_cheminIni(std::move(cheminIni)),
      m_tache(new Tache(this))
{
    ui->setupUi(this);
    connect(ui->btnTestFtp, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnTestFtpClick(); }); });
    connect(ui->btnEnregistrer, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnEnregistrerClick(); }); });
    FormCreate();
    connect(ui->cbProtocole, &QComboBox::currentIndexChanged, this, [this] { cbProtocoleChange(); });
}

TFicheFtpParam::~TFicheFtpParam()
{
    m_tache->arreter();
}

void TFicheFtpParam::FormCreate()
{
    // An unreadable file opens as a missing one; "Enregistrer" then says why it cannot save.
    const CompteFtp c = Parametres::lireSiPossible(m_cheminIni).compte(m_compte);
    ui->edtLogin->setText(c.Login);
    ui->edtPassword->setText(c.Mdp);
    ui->edtHost->setText(c.Host);
    ui->edtPort->setText(QString::number(c.Port));
    ui->cbTLS->setChecked(c.tls);
    ui->cbProtocole->setCurrentIndex(c.sftp() ? IndexSftp : IndexFtp);
    ui->edtEmpreinte->setText(c.empreinteSsh);
    afficherProtocole();
}

bool TFicheFtpParam::sftp() const
{
    return ui->cbProtocole->currentIndex() == IndexSftp;
}

// TLS is FTP's, the fingerprint SFTP's.
void TFicheFtpParam::afficherProtocole()
{
    ui->cbTLS->setEnabled(!sftp());
    ui->lblEmpreinte->setVisible(sftp());
    ui->edtEmpreinte->setVisible(sftp());
}

void TFicheFtpParam::cbProtocoleChange()
{
    // A port left at the other protocol's default follows the choice; one typed stays.
    const QString ftp = QString::number(CompteFtp::PortParDefaut);
    const QString ssh = QString::number(CompteFtp::PortSftpParDefaut);
    if (sftp() && ui->edtPort->text().trimmed() == ftp)
        ui->edtPort->setText(ssh);
    else if (!sftp() && ui->edtPort->text().trimmed() == ssh)
        ui->edtPort->setText(ftp);
    afficherProtocole();
}

void TFicheFtpParam::lireSaisie(CompteFtp &c) const
{
    c.Login = ui->edtLogin->text();
    c.Mdp = ui->edtPassword->text();
    c.Host = ui->edtHost->text();
    c.protocole = sftp() ? CompteFtp::Protocole::SFTP : CompteFtp::Protocole::FTP;
    c.tls = !sftp() && ui->cbTLS->isChecked();
    c.empreinteSsh = ui->edtEmpreinte->text().trimmed();
}

void TFicheFtpParam::btnTestFtpClick()
{
    // A bad port stops here, before any connection and without a test message.
    CompteFtp compte;
    compte.Port = convertirPort(ui->edtPort->text());
    lireSaisie(compte);
    // The certificate and the key are edited in the file only: the test uses those saved there.
    const CompteFtp fichier = Parametres::lire(m_cheminIni).compte(m_compte);
    compte.certificatCA = fichier.certificatCA;
    compte.cleSsh = fichier.cleSsh;

    if (m_tache->signalerSiOccupe())
        return;
    const Parametres::Partie section =
        m_compte == QuelCompte::Publication ? Parametres::Publication : Parametres::Rapport;
    auto curseur = std::make_shared<CurseurOccupe>();
    // An unknown host key's fingerprint, for the question asked once the test is over.
    auto inconnue = std::make_shared<QString>();
    // Halvenor.ini lives in the program directory, which relative key and certificate paths start from.
    const QString repertoire = QFileInfo(m_cheminIni).absolutePath();
    m_tache->lancer(
        [compte, section, inconnue, repertoire](Messages &messages, const Annulation &annulation) {
            // The test's own client, never left connected.
            const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
            client->setAnnulation(&annulation);
            // Refused log-in and any other failure read the same to the user.
            const ResultatFtp r = connecterCompte(*client, compte, Parametres::nomSection(section), repertoire);
            const bool connecte = client->connected();
            // Closed before the message box: the server is not kept waiting while the user reads.
            try {
                client->disconnect();
            } catch (...) {
            }
            if (annulation.demandee())
                return false;
            if (!r && r.echec().cause == CauseFtp::CleHoteInconnue) {
                if (const auto *sftp = dynamic_cast<const SftpClient *>(client.get());
                    sftp && !sftp->empreinteServeur().isEmpty()) {
                    *inconnue = sftp->empreinteServeur();
                    return true;
                }
            }
            QString echec;
            if (!r)
                echec = QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ") + r.echec().texte();
            if (!connecte && echec.isEmpty())
                echec = QStringLiteral("Impossible de se connecter au serveur FTP !");
            messages.afficher(connecte ? QStringLiteral("Connection établie avec le serveur FTP") : echec);
            return true;
        },
        [this, curseur, inconnue](const Resultat &resultat) mutable {
            curseur.reset();
            presenterResultat(this, resultat);
            if (m_fermerApres) {
                QDialog::reject();
                return;
            }
            if (!inconnue->isEmpty())
                proposerConfiance(*inconnue);
        });
}

void TFicheFtpParam::proposerConfiance(const QString &empreinte)
{
    if (!dialogues().question(this, QStringLiteral("La clé du serveur SFTP est inconnue. Son empreinte est ")
                                        + empreinte
                                        + QStringLiteral(".\n\nSi c'est bien celle de votre serveur, lui faire "
                                                         "confiance ? L'empreinte sera enregistrée dans la clé "
                                                         "EmpreinteSSH de Halvenor.ini.")))
        return;
    ui->edtEmpreinte->setText(empreinte);
    // Only the fingerprint is saved now: the other fields wait for "Enregistrer".
    executerAction(this, [&] {
        Parametres p = Parametres::lire(m_cheminIni);
        p.compte(m_compte).empreinteSsh = empreinte;
        p.enregistrer(m_cheminIni,
                      m_compte == QuelCompte::Publication ? Parametres::Publication : Parametres::Rapport);
    });
}

void TFicheFtpParam::reject()
{
    // Closed while the test waits on the server: the test stops, then the window closes.
    if (m_tache->enCours()) {
        m_fermerApres = true;
        m_tache->annuler();
        return;
    }
    QDialog::reject();
}

void TFicheFtpParam::btnEnregistrerClick()
{
    // An SFTP account that logs in with the key named in the file (CleSSH) needs no password.
    const bool parCle = sftp() && !Parametres::lireSiPossible(m_cheminIni).compte(m_compte).cleSsh.isEmpty();
    if (ui->edtLogin->text().isEmpty() || (ui->edtPassword->text().isEmpty() && !parCle)
        || ui->edtHost->text().isEmpty() || ui->edtPort->text().isEmpty()) {
        dialogues().message(this, QStringLiteral("Veuillez renseigner la configuration FTP"));
        return;
    }
    // Converted before any write, so a bad port leaves the section as it was.
    const int port = convertirPort(ui->edtPort->text());

    Parametres p;
    CompteFtp &c = p.compte(m_compte);
    lireSaisie(c);
    c.Port = port;
    p.enregistrer(m_cheminIni, m_compte == QuelCompte::Publication ? Parametres::Publication : Parametres::Rapport);
    accept();
}
