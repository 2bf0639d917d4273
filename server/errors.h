#pragma once
// How the server's failures travel. Every method either returns its value or throws one of these;
// the dispatcher turns them into the answer the caller expects.

#include <QString>
#include <stdexcept>

namespace server {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// The request cannot be taken as it stands: unknown name, wrong argument count or kind, a text
// too long for its column, a malformed packet. Answered with a fault; nothing was written.
class Fault : public Error {
public:
    using Error::Error;
};

// The request was understood but refused by the rules of the data (a row changed by another user,
// a duplicate row number, a row that does not exist). Answered through the method's own result
// convention, so that the screen shows the text; nothing was written.
class Refusal : public Error {
public:
    using Error::Error;
};

// The database failed. Answered like a refusal; the transaction was rolled back.
class DatabaseError : public Error {
public:
    using Error::Error;
};

} // namespace server
