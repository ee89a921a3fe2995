#include "gui/ProgressionBarre.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace {
// Letting events run costs far more than reading a record; every 10 ms is as
// smooth to the eye as after every record, keeps a large export fast, and leaves
// room under the 50 ms a window may pause when the machine is busy.
constexpr qint64 intervalleEvenementsMs = 10;
}

ProgressionBarre::ProgressionBarre(QProgressBar *barre) : m_barre(barre)
{
    m_position = barre->value() < 0 ? 0 : barre->value();
    m_maximum = barre->property("maximumLogique").isValid() ? barre->property("maximumLogique").toInt()
                                                             : barre->maximum();
    m_depuis.start();
}

void ProgressionBarre::definirPosition(int position)
{
    m_position = position;
    afficher();
}

void ProgressionBarre::definirMaximum(int maximum)
{
    m_maximum = maximum;
    afficher();
}

ProgressionBarre::~ProgressionBarre()
{
    afficher(); // where the action ended, done or not
}

// Only counted: the bar is drawn when events run, a million repaints would cost more
// than the export.
void ProgressionBarre::avancer()
{
    ++m_position;
}

void ProgressionBarre::afficher()
{
    m_barre->setProperty("maximumLogique", m_maximum);
    m_barre->setProperty("positionLogique", m_position);
    m_barre->setRange(0, m_maximum > 0 ? m_maximum : 1);
    m_barre->setValue(m_maximum > 0 ? qMin(m_position, m_maximum) : 0);
}

void ProgressionBarre::traiterEvenements()
{
    if (m_depuis.elapsed() < intervalleEvenementsMs)
        return;
    afficher();
    QCoreApplication::processEvents();
    m_depuis.restart();
}
