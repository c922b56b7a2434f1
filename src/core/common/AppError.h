#pragma once

// An error that ends a command and reaches the application's general error
// handler, which shows its message in a box and lets the program go on.

#include <QString>

#include <stdexcept>

namespace norvane {

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// The text the general error handler shows: the message, with a full stop
// appended when its last character sorts after ".".
inline QString messageWithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

} // namespace norvane
