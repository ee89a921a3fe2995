#include "gui/rapports/ModeleRapports.h"

#include "core/base/Formats.h"

ModeleRapports::ModeleRapports(QObject *parent)
    : QAbstractTableModel(parent),
      m_feux{QIcon(QStringLiteral(":/icons/feu_vert.svg")), QIcon(QStringLiteral(":/icons/feu_rouge.svg"))}
{
}

int ModeleRapports::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lignes.size());
}

int ModeleRapports::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : NombreColonnes;
}

QVariant ModeleRapports::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const LigneRapport &l = m_lignes[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Franchise: return l.identifiant;
        case Etat: return l.enErreur ? QStringLiteral("En erreur") : QStringLiteral("À jour");
        case Date: return l.date.isValid() ? formats::dateHeure(l.date) : QString();
        case Motif: return l.motif;
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == Franchise)
            return m_feux[l.enErreur ? 1 : 0];
        break;
    case Qt::ToolTipRole:
        return index.column() == Motif ? l.motif : l.fichier;
    case RoleImage:
        return l.enErreur ? 1 : 0;
    case RoleTexte:
        return l.texte;
    }
    return {};
}

QVariant ModeleRapports::headerData(int section, Qt::Orientation orientation, int role) const
{
    // A first click on any column sorts ascending, as "Franchisé" and "Date du rapport" in the
    // order list do; otherwise the header would carry a descending order over to it.
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole)
        return static_cast<int>(Qt::AscendingOrder);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Franchise: return QStringLiteral("Franchisé");
    case Etat: return QStringLiteral("État");
    case Date: return QStringLiteral("Date du rapport");
    case Motif: return QStringLiteral("Motif");
    }
    return {};
}

void ModeleRapports::ajouter(const QList<LigneRapport> &lignes)
{
    if (lignes.isEmpty())
        return;
    const int debut = rowCount();
    beginInsertRows({}, debut, debut + static_cast<int>(lignes.size()) - 1);
    for (const LigneRapport &l : lignes) {
        m_lignes << l;
        m_cles << cleRecherche(l);
    }
    endInsertRows();
}

void ModeleRapports::vider()
{
    beginResetModel();
    m_lignes.clear();
    m_cles.clear();
    endResetModel();
}

FiltreRapports::FiltreRapports(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

const ModeleRapports *FiltreRapports::source() const
{
    return static_cast<const ModeleRapports *>(sourceModel());
}

void FiltreRapports::setRecherche(const QString &texte)
{
    const QString cle = cleRecherche(texte.trimmed());
    if (cle == m_recherche)
        return;
    m_recherche = cle;
    invalidateRowsFilter();
}

void FiltreRapports::setErreursSeulement(bool oui)
{
    if (oui == m_erreursSeulement)
        return;
    m_erreursSeulement = oui;
    invalidateRowsFilter();
}

bool FiltreRapports::filterAcceptsRow(int ligne, const QModelIndex &) const
{
    if (m_erreursSeulement && !source()->ligne(ligne).enErreur)
        return false;
    return m_recherche.isEmpty() || source()->cle(ligne).contains(m_recherche);
}

OrdreRapports FiltreRapports::ordreColonne(int colonne)
{
    switch (colonne) {
    case ModeleRapports::Franchise: return OrdreRapports::Franchise;
    case ModeleRapports::Etat: return OrdreRapports::Etat;
    case ModeleRapports::Date: return OrdreRapports::Date;
    }
    return OrdreRapports::Serveur;
}

bool FiltreRapports::lessThan(const QModelIndex &gauche, const QModelIndex &droite) const
{
    const LigneRapport &a = source()->ligne(gauche.row());
    const LigneRapport &b = source()->ligne(droite.row());
    if (gauche.column() == ModeleRapports::Motif) {
        const int c = QString::localeAwareCompare(a.motif, b.motif);
        return c < 0 || (c == 0 && a.rang < b.rang);
    }
    // Equal lines keep the listing's order, whatever order the proxy had before.
    const OrdreRapports ordre = ordreColonne(gauche.column());
    if (avantDans(ordre, a, b))
        return true;
    return !avantDans(ordre, b, a) && a.rang < b.rang;
}
