#pragma once

#include <QObject>

// While it lives, the user's clicks, keys and close boxes reach no window: a window that
// loads before it is shown lets events run for repaints, and no click may act meanwhile
// on the window behind it. Such input is dropped, not kept for later.
class SaisieSuspendue : public QObject
{
public:
    SaisieSuspendue();
    ~SaisieSuspendue() override;
    SaisieSuspendue(const SaisieSuspendue &) = delete;
    SaisieSuspendue &operator=(const SaisieSuspendue &) = delete;

protected:
    bool eventFilter(QObject *objet, QEvent *evenement) override;
};
