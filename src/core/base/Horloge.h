#pragma once

#include <QDateTime>

// Current local date and time. Tests install a fixed clock.
class Horloge
{
public:
    virtual ~Horloge() = default;
    virtual QDateTime maintenant() const = 0;
};

const Horloge &horloge();
// Installs a clock (not owned); nullptr restores the system clock.
void definirHorloge(const Horloge *h);
