#pragma once

#include <QString>
#include <stdexcept>

// Every failure that the system reports to the user carries a readable French text.
// The standard error dialog (GUI) and halvenor-cli show what() of these.
class HalvenorError : public std::runtime_error
{
public:
    explicit HalvenorError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// Text of any exception, for the places that show or print it.
inline QString texteErreur(const std::exception &e)
{
    if (auto *h = dynamic_cast<const HalvenorError *>(&e))
        return h->message();
    return QString::fromLocal8Bit(e.what());
}
