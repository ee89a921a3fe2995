#pragma once

#include <QString>

// The one way the core speaks to the user: a message with an OK button.
// The GUI shows a message box, halvenor-cli prints to stderr, tests record.
class Messages
{
public:
    virtual ~Messages() = default;
    virtual void afficher(const QString &texte) = 0;
};
