#include "gui/SaisieSuspendue.h"

#include <QCoreApplication>
#include <QEvent>

SaisieSuspendue::SaisieSuspendue()
{
    QCoreApplication::instance()->installEventFilter(this);
}

SaisieSuspendue::~SaisieSuspendue()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool SaisieSuspendue::eventFilter(QObject *, QEvent *evenement)
{
    switch (evenement->type()) {
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::Close:
        // What the program itself sends goes through.
        return evenement->spontaneous();
    default:
        return false;
    }
}
