#pragma once

#include "core/reports/TriRapports.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>

#include <array>

// The report window's lines, in listing order, shown by the icon list (column Franchise)
// and by the detail view (every column) through one FiltreRapports.
class ModeleRapports : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Colonnes { Franchise, Etat, Date, Motif, NombreColonnes };
    static constexpr int RoleImage = Qt::UserRole + 1; // 0 green, 1 red
    static constexpr int RoleTexte = Qt::UserRole + 2; // the whole report text

    explicit ModeleRapports(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void ajouter(const QList<LigneRapport> &lignes);
    void vider();
    const LigneRapport &ligne(int rang) const { return m_lignes[rang]; }
    const QString &cle(int rang) const { return m_cles[rang]; }

private:
    QList<LigneRapport> m_lignes;
    QList<QString> m_cles; // search keys, made once per line: typing must not rebuild them
    std::array<QIcon, 2> m_feux;
};

// Filter (search text, errors only) and order over ModeleRapports. Without a sort column the
// lines keep the listing's order; a column sorts by the matching OrdreRapports.
class FiltreRapports : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit FiltreRapports(QObject *parent = nullptr);

    void setRecherche(const QString &texte);
    void setErreursSeulement(bool oui);
    bool filtreActif() const { return !m_recherche.isEmpty() || m_erreursSeulement; }
    // The order a column sorts by; Motif has none of its own and sorts as text.
    static OrdreRapports ordreColonne(int colonne);

protected:
    bool filterAcceptsRow(int ligne, const QModelIndex &parent) const override;
    bool lessThan(const QModelIndex &gauche, const QModelIndex &droite) const override;

private:
    const ModeleRapports *source() const;

    QString m_recherche;
    bool m_erreursSeulement = false;
};
