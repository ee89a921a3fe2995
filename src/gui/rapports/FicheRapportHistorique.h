#pragma once

#include "core/reports/RapportMajAuto.h"

#include <QDialog>
#include <QScopedPointer>

#include <map>

class TNativeXMLDocument;

namespace Ui {
class TFicheRapportHistorique;
}

// Every past automatic update run of one franchisee, problems in red, exported as CSV.
class TFicheRapportHistorique : public QDialog
{
    Q_OBJECT

public:
    // The document stays the caller's; the window reads it once, at creation.
    TFicheRapportHistorique(QWidget *owner, const QString &identifiant, const TNativeXMLDocument &document);
    ~TFicheRapportHistorique() override;

    void Button1Click();

    // Row -> in error, for every line added by FormCreate.
    const std::map<int, bool> &ErreursParLigne() const { return m_erreursParLigne; }

private:
    void FormCreate(const TNativeXMLDocument &document);
    void lstRapportHistoriqueCustomDrawItem(int ligne);

    QScopedPointer<Ui::TFicheRapportHistorique> ui;
    std::map<int, bool> m_erreursParLigne;
    QList<EntreeHistorique> m_entrees; // as listed, for "Exporter"
};
