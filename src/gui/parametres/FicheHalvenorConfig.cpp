#include "gui/parametres/FicheHalvenorConfig.h"
#include "ui_FicheHalvenorConfig.h"

#include "core/base/Chemins.h"
#include "core/base/Genres.h"
#include "gui/parametres/FicheExclureFnsListe.h"
#include "gui/parametres/FicheFtpParam.h"
#include "core/config/IniFile.h"
#include "gui/Action.h"
#include "gui/Dialogues.h"

namespace {

const QString SectionHalvenor = QStringLiteral("Halvenor");
const QString SectionUri = QStringLiteral("Halvenor_URI");
const QString CleTypeEnvoi = QStringLiteral("TypeEnvoi");
const QString CleUri = QStringLiteral("URI");
const QString TypeFtp = QStringLiteral("FTP");
const QString TypeUri = QStringLiteral("URI");

} // namespace

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
}

TFicheHalvenorConfig::~TFicheHalvenorConfig() = default;

void TFicheHalvenorConfig::FormCreate()
{
    const IniFile ini(chemins().FichierIni);
    if (!ini.existe()) {
        regleChemin();
        m_choix = ui->rbChemin;
        return;
    }

    ui->cbRemiseAchat->setChecked(ini.readBool(SectionHalvenor, cleGenre(Genre::Remise), false));
    ui->cbPersonnalisation->setChecked(ini.readBool(SectionHalvenor, cleGenre(Genre::Personnalisation), false));
    ui->cbMessagerie->setChecked(ini.readBool(SectionHalvenor, cleGenre(Genre::Messages), false));
    ui->cbDocument->setChecked(ini.readBool(SectionHalvenor, cleGenre(Genre::Documents), false));
    cbRemiseAchatClick();

    // Any other value leaves "Par chemin" selected as laid out, with nothing enabled
    // under either button until the user picks one.
    const QString type = ini.readString(SectionHalvenor, CleTypeEnvoi, TypeFtp);
    if (type == TypeFtp) {
        ui->rbFtp->setChecked(true);
        regleFtp();
    } else if (type == TypeUri) {
        ui->rbChemin->setChecked(true);
        regleChemin();
    }
    m_choix = ui->rbFtp->isChecked() ? static_cast<QAbstractButton *>(ui->rbFtp)
                                     : static_cast<QAbstractButton *>(ui->rbChemin);

    ui->edtUri->setText(ini.readString(SectionUri, CleUri, QString()));
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
    ouvrirFenetre(this, [this] {
        TFicheFtpParam fiche(this, QStringLiteral("Halvenor_FTP"), chemins().FichierIni);
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
    // Loading the suppliers lets events through: a second click meanwhile must not open
    // another exclusion window over the first.
    if (m_exclusionOuverte)
        return;
    m_exclusionOuverte = true;
    ouvrirFenetre(this, [this] {
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

    IniFile ini(chemins().FichierIni);
    ini.writeBool(SectionHalvenor, cleGenre(Genre::Remise), ui->cbRemiseAchat->isChecked());
    ini.writeBool(SectionHalvenor, cleGenre(Genre::Personnalisation), ui->cbPersonnalisation->isChecked());
    ini.writeBool(SectionHalvenor, cleGenre(Genre::Messages), ui->cbMessagerie->isChecked());
    ini.writeBool(SectionHalvenor, cleGenre(Genre::Documents), ui->cbDocument->isChecked());
    ini.writeString(SectionHalvenor, CleTypeEnvoi, ui->rbFtp->isChecked() ? TypeFtp : TypeUri);
    // Written in both modes, so a path chosen once survives a switch to FTP.
    ini.writeString(SectionUri, CleUri, ui->edtUri->text());
    accept();
}
