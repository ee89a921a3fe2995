#include "gui/rapports/FriseHistorique.h"

#include "core/base/Formats.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <map>

namespace {

const QColor Vert(46, 158, 68);
const QColor Rouge(255, 0, 0); // the red of the history's lines
constexpr int HauteurMarques = 28;
constexpr int HauteurEchelle = 16;
constexpr int Marge = 6;

} // namespace

FriseHistorique::FriseHistorique(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FriseHistorique::setEntrees(const QList<EntreeHistorique> &entrees, const QDate &aujourdhui)
{
    m_entrees = entrees;
    m_aujourdhui = aujourdhui;
    calculerEtendue();
}

void FriseHistorique::setToutAfficher(bool tout)
{
    m_tout = tout;
    calculerEtendue();
}

void FriseHistorique::calculerEtendue()
{
    QDate dernier = m_aujourdhui;
    QDate premier = m_aujourdhui;
    std::map<QDate, int> parJour;
    m_places.resize(m_entrees.size());
    for (qsizetype i = 0; i < m_entrees.size(); ++i) {
        const QDate jour = m_entrees[i].date.date();
        dernier = std::max(dernier, jour);
        premier = std::min(premier, jour);
        m_places[i].first = parJour[jour]++;
    }
    for (qsizetype i = 0; i < m_entrees.size(); ++i)
        m_places[i].second = parJour[m_entrees[i].date.date()];
    m_fin = dernier;
    m_debut = dernier.addDays(-(JoursParDefaut - 1));
    if (m_tout)
        m_debut = std::min(m_debut, premier);
    update();
}

QSize FriseHistorique::sizeHint() const
{
    return {4 * JoursParDefaut + 2 * Marge, HauteurMarques + HauteurEchelle + 2 * Marge};
}

QSize FriseHistorique::minimumSizeHint() const
{
    return {JoursParDefaut + 2 * Marge, sizeHint().height()};
}

QRect FriseHistorique::zoneMarques() const
{
    return {Marge, Marge, std::max(1, width() - 2 * Marge), HauteurMarques};
}

QRect FriseHistorique::rectMarque(int ligne) const
{
    if (ligne < 0 || ligne >= m_entrees.size() || !m_debut.isValid())
        return {};
    const QDate jour = m_entrees[ligne].date.date();
    if (jour < m_debut || jour > m_fin)
        return {};
    const auto [rang, nombre] = m_places[ligne];
    const QRect zone = zoneMarques();
    const double parJour = static_cast<double>(zone.width()) / static_cast<double>(m_debut.daysTo(m_fin) + 1);
    const double gauche = zone.left() + parJour * static_cast<double>(m_debut.daysTo(jour));
    const double largeur = parJour / nombre;
    const int x = static_cast<int>(gauche + largeur * rang);
    // At least a pixel wide, with a pixel between days when there is room.
    const int l = std::max(1, static_cast<int>(largeur) - (parJour >= 3 ? 1 : 0));
    return {x, zone.top(), l, zone.height()};
}

int FriseHistorique::ligneEn(const QPoint &point) const
{
    // A thin mark is hard to hit: the nearest one within 3 pixels counts.
    int trouvee = -1;
    int meilleure = 4;
    for (int i = 0; i < m_entrees.size(); ++i) {
        const QRect r = rectMarque(i);
        if (r.isEmpty() || point.y() < r.top() || point.y() > r.bottom())
            continue;
        const int ecart = point.x() < r.left() ? r.left() - point.x() : std::max(0, point.x() - r.right());
        if (ecart < meilleure) {
            meilleure = ecart;
            trouvee = i;
        }
    }
    return trouvee;
}

bool FriseHistorique::event(QEvent *evenement)
{
    if (evenement->type() == QEvent::ToolTip) {
        const auto *aide = static_cast<QHelpEvent *>(evenement);
        const int ligne = ligneEn(aide->pos());
        if (ligne < 0) {
            QToolTip::hideText();
            evenement->ignore();
        } else {
            const EntreeHistorique &e = m_entrees[ligne];
            QToolTip::showText(aide->globalPos(), formats::dateHeure(e.date) + u'\n' + e.texte.trimmed(), this,
                               rectMarque(ligne));
        }
        return true;
    }
    return QWidget::event(evenement);
}

void FriseHistorique::mousePressEvent(QMouseEvent *evenement)
{
    const int ligne = ligneEn(evenement->position().toPoint());
    if (evenement->button() == Qt::LeftButton && ligne >= 0)
        Q_EMIT ligneCliquee(ligne);
    QWidget::mousePressEvent(evenement);
}

void FriseHistorique::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect zone = zoneMarques();
    p.fillRect(zone, palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(zone.adjusted(0, 0, -1, -1));
    if (!m_debut.isValid())
        return;
    // Red drawn last, so that a red run is never hidden by a green one.
    for (const bool rouge : {false, true})
        for (int i = 0; i < m_entrees.size(); ++i)
            if (m_entrees[i].enErreur == rouge)
                p.fillRect(rectMarque(i), rouge ? Rouge : Vert);

    // The first day of each month, with a label when there is room.
    const double parJour = static_cast<double>(zone.width()) / static_cast<double>(m_debut.daysTo(m_fin) + 1);
    p.setPen(palette().windowText().color());
    int finTexte = -1000;
    for (QDate jour = m_debut; jour <= m_fin; jour = jour.addDays(1)) {
        if (jour.day() != 1 && jour != m_debut)
            continue;
        const int x = zone.left() + static_cast<int>(parJour * static_cast<double>(m_debut.daysTo(jour)));
        p.drawLine(x, zone.bottom() + 1, x, zone.bottom() + 4);
        const QString texte = jour.toString(QStringLiteral("MM/yyyy"));
        if (x > finTexte + 4 && x + p.fontMetrics().horizontalAdvance(texte) <= width()) {
            p.drawText(x + 2, zone.bottom() + 4 + p.fontMetrics().ascent(), texte);
            finTexte = x + 2 + p.fontMetrics().horizontalAdvance(texte);
        }
    }
}
