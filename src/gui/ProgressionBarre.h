#pragma once

#include "core/base/Progression.h"

#include <QElapsedTimer>

class QProgressBar;

// Progress of a generator on one of the main window's bars.
// A maximum of 0 is kept as such but drawn as an empty bar: Qt would draw a
// range of 0..0 as a "busy" animation that never ends.
class ProgressionBarre : public Progression
{
public:
    explicit ProgressionBarre(QProgressBar *barre);
    ~ProgressionBarre() override;
    ProgressionBarre(const ProgressionBarre &) = delete;
    ProgressionBarre &operator=(const ProgressionBarre &) = delete;

    void definirPosition(int position) override;
    void definirMaximum(int maximum) override;
    int maximum() const override { return m_maximum; }
    int position() const { return m_position; }
    void avancer() override;
    void traiterEvenements() override;

private:
    void afficher();

    QProgressBar *m_barre;
    int m_position = 0;
    int m_maximum = 0;
    QElapsedTimer m_depuis;
};
