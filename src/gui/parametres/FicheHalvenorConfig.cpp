#include "gui/parametres/FicheHalvenorConfig.h"
#include "ui_FicheHalvenorConfig.h"

#include "core/base/Chemins.h"
#include "core/base/Genres.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheFtpParam.h"
#include "core/config/Parametres.h"
#include "gui/Action.h"
#include "gui/Dialogues.h"

TFicheHalvenorConfig::TFicheHalvenorConfig(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint),
      ui(new Ui::TFicheHalvenorConfig)
{
    ui->setupUi(this);

    connect(ui->rbFtp, &QRadioButton::clicked, this, [this] { executerAction(this, [this] { rbFtpClick(); }); });
    connect(ui->rbChemin, &QRadioButton::clicked, this,
            [this] { executerAction(this, [this] { rbCheminClick(); }); });
    connect(ui->cbRemiseAchat, &QCheckBox::toggled, this, &TFicheHalvenorConfig::cbRemiseAchatClick);
    connect(ui->btnFtpParam, &QPushButton::clicked, this, &TFicheHalvenorConfig::btnFtpParamClick);
    connect(ui->btnHalvenorRep, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnHalvenorRepClick(); }); });
    connect(ui->btnExclure, &QPushButton::clicked, this, &TFicheHalvenorConfig::btnExclureClick);
    connect(ui->btnEnregistrer, &QPushButton::clicked, this,
            [this] { executerAction(this, [this] { btnEnregistrerClick(); }); });

    FormCreate();
    // Tab reaches the selected radio button only (arrows move between the two), as Qt leaves
    // them once the user has clicked one.
    for (QRadioButton *rb : {ui->rbFtp, ui->rbChemin})
        rb->setFocusPolicy(rb->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

TFicheHalvenorConfig::~TFicheHalvenorConfig() = default;

void TFicheHalvenorConfig::FormCreate()
{
    // An unreadable file opens as a missing one; "Enregistrer" then says why it cannot save.
    const Parametres p = Parametres::lireSiPossible(chemins().FichierIni);
    if (!p.existe) {
        regleChemin();
        m_choix = ui->rbChemin;
        return;
    }

    ui->cbRemiseAchat->setChecked(p.halvenor.actif(Genre::Remise));
    ui->cbPersonnalisation->setChecked(p.halvenor.actif(Genre::Personnalisation));
    ui->cbMessagerie->setChecked(p.halvenor.actif(Genre::Messages));
    ui->cbDocument->setChecked(p.halvenor.actif(Genre::Documents));
    cbRemiseAchatClick();

    // Any other value leaves "Par chemin" selected as laid out, with nothing enabled
    // under either button until the user picks one.
    if (p.halvenor.typeEnvoi == ModeEnvoi::FTP) {
        ui->rbFtp->setChecked(true);
        regleFtp();
    } else if (p.halvenor.typeEnvoi == ModeEnvoi::URI) {
        ui->rbChemin->setChecked(true);
        regleChemin();
    }
    m_choix = ui->rbFtp->isChecked() ? static_cast<QAbstractButton *>(ui->rbFtp)
                                     : static_cast<QAbstractButton *>(ui->rbChemin);

    ui->edtUri->setText(p.uri);
}

void TFicheHalvenorConfig::regleFtp()
{
    ui->edtUri->setEnabled(false);
    ui->btnHalvenorRep->setEnabled(false);
    ui->btnFtpParam->setEnabled(true);
}

void TFicheHalvenorConfig::regleChemin()
{
    ui->edtUri->setEnabled(true);
    ui->btnHalvenorRep->setEnabled(true);
    ui->btnFtpParam->setEnabled(false);
}

void TFicheHalvenorConfig::rbFtpClick()
{
    if (!ui->rbFtp->isChecked() || m_choix == ui->rbFtp)
        return;
    m_choix = ui->rbFtp;
    regleFtp();
}

void TFicheHalvenorConfig::rbCheminClick()
{
    if (!ui->rbChemin->isChecked() || m_choix == ui->rbChemin)
        return;
    m_choix = ui->rbChemin;
    regleChemin();
}

void TFicheHalvenorConfig::cbRemiseAchatClick()
{
    ui->btnExclure->setEnabled(ui->cbRemiseAchat->isChecked());
}

void TFicheHalvenorConfig::btnFtpParamClick()
{
    executerAction(this, [this] {
        TFicheFtpParam fiche(this, QuelCompte::Publication, chemins().FichierIni);
        fiche.exec();
    });
}

void TFicheHalvenorConfig::btnHalvenorRepClick()
{
    const std::optional<QString> dossier =
        dialogues().choisirDossier(this, QStringLiteral("Sélectionnez le répertoire de copie"), QStringLiteral("/"));
    if (!dossier)
        return;
    QString chemin = *dossier;
    if (!chemin.endsWith(u'/'))
        chemin += u'/';
    ui->edtUri->setText(chemin);
}

void TFicheHalvenorConfig::btnExclureClick()
{
    // The exclusion window opens while its suppliers load: a click that still reaches this
    // window meanwhile must not open another one over it.
    if (m_exclusionOuverte)
        return;
    m_exclusionOuverte = true;
    executerAction(this, [this] {
        TFicheExclureFnsListe fiche(this);
        fiche.exec();
    });
    m_exclusionOuverte = false;
}

void TFicheHalvenorConfig::btnEnregistrerClick()
{
    if (ui->rbChemin->isChecked() && ui->edtUri->text().isEmpty()) {
        dialogues().message(this, QStringLiteral("Veuillez renseigner un chemin"));
        return;
    }

    // Only the parts named below are written: the rest of the file stays as stored.
    Parametres p;
    p.halvenor.activer(Genre::Remise, ui->cbRemiseAchat->isChecked());
    p.halvenor.activer(Genre::Personnalisation, ui->cbPersonnalisation->isChecked());
    p.halvenor.activer(Genre::Messages, ui->cbMessagerie->isChecked());
    p.halvenor.activer(Genre::Documents, ui->cbDocument->isChecked());
    p.halvenor.typeEnvoi = ui->rbFtp->isChecked() ? ModeEnvoi::FTP : ModeEnvoi::URI;
    // Written in both modes, so a path chosen once survives a switch to FTP.
    p.uri = ui->edtUri->text();
    // One rewrite: a failure leaves every key as it was.
    p.enregistrer(chemins().FichierIni, Parametres::Halvenor | Parametres::Uri);
    accept();
}
