#include "core/base/Horloge.h"

namespace {
class HorlogeSysteme : public Horloge
{
public:
    QDateTime maintenant() const override { return QDateTime::currentDateTime(); }
};

const HorlogeSysteme g_systeme;
const Horloge *g_horloge = &g_systeme;
}

const Horloge &horloge()
{
    return *g_horloge;
}

void definirHorloge(const Horloge *h)
{
    g_horloge = h ? h : &g_systeme;
}
