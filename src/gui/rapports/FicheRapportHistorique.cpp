#include "gui/rapports/FicheRapportHistorique.h"
#include "ui_FicheRapportHistorique.h"

#include "core/base/Formats.h"
#include "core/base/Horloge.h"
#include "core/reports/RapportMajAuto.h"
#include "gui/Action.h"
#include "gui/Dialogues.h"

#include <QHeaderView>
#include <QTableWidgetItem>

#include <algorithm>

TFicheRapportHistorique::TFicheRapportHistorique(QWidget *owner, const QString &identifiant,
                                                 const TNativeXMLDocument &document)
    : QDialog(owner), ui(new Ui::TFicheRapportHistorique)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Historique pour le franchisé ") + identifiant);
    ui->lstRapportHistorique->setColumnWidth(0, 75);
    ui->lstRapportHistorique->setColumnWidth(1, 985);
    ui->lstRapportHistorique->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(ui->Button1, &QPushButton::clicked, this, &TFicheRapportHistorique::Button1Click);
    // A bad date stops the filling; the lines read before it stay and the window still opens.
    executerAction(this, [&] { FormCreate(document); });
    ui->friseHistorique->setEntrees(m_entrees, horloge().maintenant().date());
    connect(ui->cbToutHistorique, &QCheckBox::toggled, ui->friseHistorique, &FriseHistorique::setToutAfficher);
    connect(ui->friseHistorique, &FriseHistorique::ligneCliquee, this, [this](int ligne) {
        ui->lstRapportHistorique->selectRow(ligne);
        ui->lstRapportHistorique->scrollToItem(ui->lstRapportHistorique->item(ligne, 0));
    });
    // 75 is too narrow for a date in most fonts; every message of a run stays visible.
    ui->lstRapportHistorique->resizeColumnToContents(0);
    ui->lstRapportHistorique->setColumnWidth(0, std::max(75, ui->lstRapportHistorique->columnWidth(0)));
    ui->lstRapportHistorique->resizeRowsToContents();
}

TFicheRapportHistorique::~TFicheRapportHistorique() = default;

void TFicheRapportHistorique::FormCreate(const TNativeXMLDocument &document)
{
    m_erreursParLigne.clear();
    m_entrees.clear();
    QTableWidget *liste = ui->lstRapportHistorique;
    ParcourirHistorique(document, horloge().maintenant().date(), [&](const EntreeHistorique &e) {
        m_entrees << e;
        const int ligne = liste->rowCount();
        liste->insertRow(ligne);
        liste->setItem(ligne, 0, new QTableWidgetItem(formats::date(e.date.date())));
        auto *etat = new QTableWidgetItem(e.texte);
        etat->setToolTip(e.texte);
        liste->setItem(ligne, 1, etat);
        m_erreursParLigne[ligne] = e.enErreur;
        lstRapportHistoriqueCustomDrawItem(ligne);
    });
}

void TFicheRapportHistorique::lstRapportHistoriqueCustomDrawItem(int ligne)
{
    const auto it = m_erreursParLigne.find(ligne);
    if (it == m_erreursParLigne.end() || !it->second)
        return;
    // Only the text colour changes; background and selection keep the style's.
    for (int colonne = 0; colonne < ui->lstRapportHistorique->columnCount(); ++colonne)
        if (QTableWidgetItem *item = ui->lstRapportHistorique->item(ligne, colonne))
            item->setForeground(QColor(255, 0, 0));
}

void TFicheRapportHistorique::Button1Click()
{
    executerAction(this, [this] {
        const std::optional<QString> chemin = dialogues().enregistrerSous(
            this, QStringLiteral("Export rapport MajAuto historique"), QStringLiteral("Fichier csv (*.csv)"),
            QStringLiteral("csv"));
        if (!chemin || chemin->isEmpty())
            return;
        EcrireFichier(*chemin, CsvEntreesHistorique(m_entrees));
    });
}
