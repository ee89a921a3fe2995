#pragma once

#include "core/reports/RapportMajAuto.h"

#include <QDate>
#include <QList>
#include <QWidget>

// The runs of a history on a date axis: one mark per run, green or red like its line, a day
// without a run left empty. It shows the last 90 days (ending today or at the last run, if
// later), or every day from the first run when toutAfficher is set.
class FriseHistorique : public QWidget
{
    Q_OBJECT

public:
    static constexpr int JoursParDefaut = 90;

    explicit FriseHistorique(QWidget *parent = nullptr);

    // `entrees` in line order: mark i belongs to line i.
    void setEntrees(const QList<EntreeHistorique> &entrees, const QDate &aujourdhui);
    void setToutAfficher(bool tout);
    bool toutAfficher() const { return m_tout; }
    QDate premierJour() const { return m_debut; }
    QDate dernierJour() const { return m_fin; }

    // The mark of a line; empty when its day is not shown.
    QRect rectMarque(int ligne) const;
    // The line whose mark is at `point`, or -1.
    int ligneEn(const QPoint &point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void ligneCliquee(int ligne);

protected:
    bool event(QEvent *evenement) override;
    void paintEvent(QPaintEvent *evenement) override;
    void mousePressEvent(QMouseEvent *evenement) override;

private:
    void calculerEtendue();
    QRect zoneMarques() const;

    QList<EntreeHistorique> m_entrees;
    // Each line's rank among the runs of its day, and their number: a day's runs share its slot.
    QList<std::pair<int, int>> m_places;
    QDate m_aujourdhui;
    QDate m_debut;
    QDate m_fin;
    bool m_tout = false;
};
