#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace dorvane {

// Every failure the program reports is one of these. The message is what the
// user sees in the error box (or on standard error, for dorvane-convert).
class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

#define DORVANE_EXCEPTION(Name, Base)                                                              \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    };

DORVANE_EXCEPTION(EStringListError, Exception)
DORVANE_EXCEPTION(EStreamError, Exception)
DORVANE_EXCEPTION(EFOpenError, EStreamError)
DORVANE_EXCEPTION(EFCreateError, EStreamError)
DORVANE_EXCEPTION(EWriteError, EStreamError)
DORVANE_EXCEPTION(EReadError, EStreamError)
DORVANE_EXCEPTION(EClipboardException, Exception)
DORVANE_EXCEPTION(EThread, Exception)

#undef DORVANE_EXCEPTION

} // namespace dorvane
