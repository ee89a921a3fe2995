#pragma once

#include <QGuiApplication>

// The busy cursor for the length of a scope, restored however the scope ends.
class CurseurOccupe
{
public:
    CurseurOccupe() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CurseurOccupe() { QGuiApplication::restoreOverrideCursor(); }
    CurseurOccupe(const CurseurOccupe &) = delete;
    CurseurOccupe &operator=(const CurseurOccupe &) = delete;
};
