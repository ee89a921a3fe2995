#include "gui/parametres/FicheFtpParam.h"
#include "ui_FicheFtpParam.h"

#include "core/base/Chemins.h"
#include "core/base/Erreurs.h"
#include "core/base/Formats.h"
#include "gui/Action.h"
#include "gui/Dialogues.h"
#include "gui/CurseurOccupe.h"
#include "gui/Tache.h"

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
}

void TFicheFtpParam::btnTestFtpClick()
{
    // A bad port stops here, before any connection and without a test message.
    CompteFtp compte;
    compte.Port = convertirPort(ui->edtPort->text());
    compte.Host = ui->edtHost->text();
    compte.Login = ui->edtLogin->text();
    compte.Mdp = ui->edtPassword->text();
    compte.tls = ui->cbTLS->isChecked();
    // The certificate is edited in the file only: the test trusts the one saved there.
    compte.certificatCA = Parametres::lire(m_cheminIni).compte(m_compte).certificatCA;

    if (m_tache->signalerSiOccupe())
        return;
    const Parametres::Partie section =
        m_compte == QuelCompte::Publication ? Parametres::Publication : Parametres::Rapport;
    auto curseur = std::make_shared<CurseurOccupe>();
    m_tache->lancer(
        [compte, section](Messages &messages, const Annulation &annulation) {
            // The test's own client, never left connected.
            const std::unique_ptr<ClientDistant> client = clientPourCompte(compte);
            client->setAnnulation(&annulation);
            // Refused log-in and any other failure read the same to the user.
            const ResultatFtp r = connecterCompte(*client, compte, Parametres::nomSection(section));
            const bool connecte = client->connected();
            // Closed before the message box: the server is not kept waiting while the user reads.
            try {
                client->disconnect();
            } catch (...) {
            }
            if (annulation.demandee())
                return false;
            QString echec;
            if (!r)
                echec = QStringLiteral("Impossible de se connecter au serveur FTP. Erreur ") + r.echec().texte();
            if (!connecte && echec.isEmpty())
                echec = QStringLiteral("Impossible de se connecter au serveur FTP !");
            messages.afficher(connecte ? QStringLiteral("Connection établie avec le serveur FTP") : echec);
            return true;
        },
        [this, curseur](const Resultat &resultat) mutable {
            curseur.reset();
            presenterResultat(this, resultat);
            if (m_fermerApres)
                QDialog::reject();
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
    if (ui->edtLogin->text().isEmpty() || ui->edtPassword->text().isEmpty() || ui->edtHost->text().isEmpty()
        || ui->edtPort->text().isEmpty()) {
        dialogues().message(this, QStringLiteral("Veuillez renseigner la configuration FTP"));
        return;
    }
    // Converted before any write, so a bad port leaves the section as it was.
    const int port = convertirPort(ui->edtPort->text());

    Parametres p;
    CompteFtp &c = p.compte(m_compte);
    c.Login = ui->edtLogin->text();
    c.Mdp = ui->edtPassword->text();
    c.Host = ui->edtHost->text();
    c.Port = port;
    c.tls = ui->cbTLS->isChecked();
    p.enregistrer(m_cheminIni, m_compte == QuelCompte::Publication ? Parametres::Publication : Parametres::Rapport);
    accept();
}
