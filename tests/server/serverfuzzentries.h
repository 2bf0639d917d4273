#pragma once
// What the server's fuzzers and their corpus replay feed with arbitrary bytes: a connection's
// first frame as the server takes it (`hello`), and a request payload through the whole method
// dispatch of the service on a demo database (`dispatch`). Neither may crash or throw; a hello
// taken must carry the token and an operator, and every request gets a reply that decodes, or the
// entry aborts so that the fuzzer reports it.

#include <QByteArrayView>

namespace serverfuzz {

void hello(QByteArrayView data);
void dispatch(QByteArrayView data);

} // namespace serverfuzz
