#include "gui/Style.h"

#include "core/base/Erreurs.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>

namespace {

QPalette paletteQuartzFume()
{
    // Smoky quartz: warm greys with a brown cast, a honey accent.
    const QColor fond(0xE6, 0xE1, 0xDB);
    const QColor base(0xF7, 0xF4, 0xF0);
    const QColor texte(0x2B, 0x26, 0x22);
    const QColor bouton(0xD9, 0xD2, 0xC9);
    const QColor accent(0x8A, 0x6A, 0x4B);
    QPalette p;
    p.setColor(QPalette::Window, fond);
    p.setColor(QPalette::WindowText, texte);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, fond);
    p.setColor(QPalette::Text, texte);
    p.setColor(QPalette::Button, bouton);
    p.setColor(QPalette::ButtonText, texte);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, texte);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9A, 0x92, 0x89));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9A, 0x92, 0x89));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9A, 0x92, 0x89));
    return p;
}

} // namespace

void appliquerStyle(QApplication &app, const QString &nom)
{
    if (nom != u"Smokey Quartz Kamri")
        throw HalvenorError(QStringLiteral("Le style « %1 » n'existe pas.").arg(nom));
    QFile feuille(QStringLiteral(":/styles/smokey_quartz_kamri.qss"));
    if (!feuille.open(QIODevice::ReadOnly))
        throw HalvenorError(QStringLiteral("Impossible de charger le style « %1 ».").arg(nom));
    QStyle *base = QStyleFactory::create(QStringLiteral("Fusion"));
    if (!base)
        throw HalvenorError(QStringLiteral("Impossible de charger le style « %1 ».").arg(nom));
    app.setStyle(base);
    app.setPalette(paletteQuartzFume());
    app.setStyleSheet(QString::fromUtf8(feuille.readAll()));
}
