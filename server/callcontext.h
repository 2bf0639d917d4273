#pragma once
// Who makes a call: the operator the connection named in its hello and the address it came
// from. Every method of the service may read it (to refuse a branch, to record who changed what).

#include <QString>

namespace server {

struct CallContext {
    QString operatorCode;
    QString peerAddress;
};

} // namespace server
