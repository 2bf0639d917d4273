#include "serverfuzzentries.h"

#include <protocol/value.h>
#include <server/database.h>
#include <server/demo.h>
#include <server/schema.h>
#include <server/security.h>
#include <server/service.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace serverfuzz {

namespace {

[[noreturn]] void finding(const char *what)
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

// One demo database for the whole run, served by one service as a worker would.
struct Served {
    QTemporaryDir dir;
    std::unique_ptr<server::Database> db;
    std::unique_ptr<server::ServTranService> service;
    Served()
    {
        db = std::make_unique<server::Database>(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("fuzz.db")));
        server::createSchema(*db);
        server::loadDemoData(*db);
        service = std::make_unique<server::ServTranService>(*db);
    }
};

} // namespace

void hello(QByteArrayView data)
{
    const QString token = QStringLiteral("s3gredo");
    const server::HelloCheck check = server::checkHello(data.toByteArray(), token);
    if (check.refusal.isEmpty() && (check.hello.token != token || check.hello.operatorCode.isEmpty()))
        finding("a hello taken without the token or an operator");
}

void dispatch(QByteArrayView data)
{
    static Served served;
    // an operator of one branch: the branch rules are part of what is walked
    const QByteArray reply = served.service->handle(data.toByteArray(), {QStringLiteral("OPER1"), QStringLiteral("127.0.0.1")});
    try {
        protocol::decodeReply(reply);
    } catch (const protocol::PacketError &) {
        finding("a reply that does not decode");
    }
}

} // namespace serverfuzz
