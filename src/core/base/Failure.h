#pragma once
// A failure raised by a file routine or the serial port. Handlers that expect one catch it and
// report it; any other reaches the last-resort error box.
#include <QString>

#include <exception>

namespace kelotari {

class Failure : public std::exception {
public:
    explicit Failure(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The last-resort error box's text: a full stop is appended when the last character sorts
// after "." (so "... code: 2)" stays as it is, "Unable to write to x.INI" gets one).
QString lastResortText(const QString& message);

} // namespace kelotari
