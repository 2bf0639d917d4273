#include "service.h"

#include "arguments.h"
#include "database.h"
#include "operatoraccess.h"
#include "passwords.h"

#include <protocol/remoteresult.h>

#include <QScopeGuard>

namespace server {

// How a method answers a failure: most answer a checked result (payload or error, read by the
// screen's CheckResultServ); SetServTran and CalcEtiqueta answer a bare text, empty on success.
enum class Convention { Checked, Text };

struct ServTranService::Method {
    QLatin1String name;
    Convention convention;
    QVariant (ServTranService::*handler)(const QVariantList &);
    qsizetype maxRequestBytes;
};

const ServTranService::Method *ServTranService::findMethod(const QString &name)
{
    static const Method methods[] = {
        {QLatin1String("GetDados"), Convention::Checked, &ServTranService::getDados, kMaxSmallRequest},
        {QLatin1String("GetPadrao"), Convention::Checked, &ServTranService::getPadrao, kMaxSmallRequest},
        {QLatin1String("GetServTran"), Convention::Checked, &ServTranService::getServTran, kMaxSmallRequest},
        {QLatin1String("GetEtiqueta"), Convention::Checked, &ServTranService::getEtiqueta, kMaxSmallRequest},
        {QLatin1String("GetPtoEntrega"), Convention::Checked, &ServTranService::getPtoEntrega, kMaxSmallRequest},
        {QLatin1String("PratoAux"), Convention::Checked, &ServTranService::pratoAux, kMaxSmallRequest},
        {QLatin1String("getDadosPrato"), Convention::Checked, &ServTranService::getDadosPrato, kMaxSmallRequest},
        {QLatin1String("GetSeqServTran"), Convention::Checked, &ServTranService::getSeqServTran, kMaxSmallRequest},
        {QLatin1String("GetHistorico"), Convention::Checked, &ServTranService::getHistorico, kMaxSmallRequest},
        {QLatin1String("GetEtiquetasImpressao"), Convention::Checked, &ServTranService::getEtiquetasImpressao, kMaxSmallRequest},
        {QLatin1String("SetServTran"), Convention::Text, &ServTranService::setServTran, kMaxChangeLogRequest},
        {QLatin1String("CalcEtiqueta"), Convention::Text, &ServTranService::calcEtiqueta, kMaxSmallRequest},
        {QLatin1String("DelServTran"), Convention::Checked, &ServTranService::delServTran, kMaxSmallRequest},
        {QLatin1String("DeletePrato"), Convention::Checked, &ServTranService::deletePrato, kMaxSmallRequest},
        {QLatin1String("CalcServTrans"), Convention::Checked, &ServTranService::calcServTrans, kMaxSmallRequest},
        {QLatin1String("SetExpedicao"), Convention::Checked, &ServTranService::setExpedicao, kMaxSmallRequest},
        {QLatin1String("GetExpedicao"), Convention::Checked, &ServTranService::getExpedicao, kMaxSmallRequest},
        {QLatin1String("GetRecebimento"), Convention::Checked, &ServTranService::getRecebimento, kMaxSmallRequest},
        {QLatin1String("SetRecebimento"), Convention::Checked, &ServTranService::setRecebimento, kMaxSmallRequest},
    };
    for (const Method &m : methods)
        if (m.name == name)
            return &m;
    return nullptr;
}

ServTranService::ServTranService(Database &db, ServiceSettings settings) : m_db(db), m_settings(std::move(settings)) {}

ServTranService::~ServTranService() = default;

protocol::Reply ServTranService::call(const protocol::Request &request, const CallContext &context, qsizetype requestBytes)
{
    // the caller's identity for this call only: the service object serves every connection
    m_context = &context;
    m_access = std::make_unique<OperatorAccess>(m_db, context.operatorCode);
    const auto forget = qScopeGuard([this] {
        m_access.reset();
        m_context = nullptr;
    });
    protocol::Reply reply;
    if (request.server != serverName()) {
        reply.fault = QStringLiteral("Servidor de aplicação desconhecido: \"%1\".").arg(request.server);
        return reply;
    }
    const Method *method = findMethod(request.method);
    if (!method) {
        reply.fault = QStringLiteral("Método desconhecido: \"%1\".").arg(request.method);
        return reply;
    }
    // The web front's operator reads and records receipts by their links, and nothing else.
    if (!m_settings.receiptOperator.isEmpty()
        && context.operatorCode.trimmed().compare(m_settings.receiptOperator, Qt::CaseInsensitive) == 0
        && request.method != QLatin1String("GetRecebimento") && request.method != QLatin1String("SetRecebimento")) {
        reply.fault = QStringLiteral("O operador %1 só consulta e registra o recebimento das etiquetas.")
                          .arg(context.operatorCode.trimmed());
        return reply;
    }
    if (requestBytes > method->maxRequestBytes) {
        reply.fault = QStringLiteral("%1: requisição de %2 bytes excede o limite de %3 bytes.")
                          .arg(request.method)
                          .arg(requestBytes)
                          .arg(method->maxRequestBytes);
        return reply;
    }
    const auto failed = [&](const QString &message) {
        reply.value = method->convention == Convention::Checked ? protocol::resultError(message) : QVariant(message);
    };
    try {
        m_db.ensureOpen();
        reply.value = (this->*method->handler)(request.args);
        // by-reference arguments: the server leaves them as they came
        reply.refs = request.args;
    } catch (const Fault &e) {
        reply = {};
        reply.fault = e.message();
    } catch (const protocol::PacketError &e) {
        reply = {};
        reply.fault = QStringLiteral("%1: pacote de dados inválido: %2").arg(request.method, e.message());
    } catch (const Error &e) {
        failed(e.message());
        reply.refs = request.args;
        m_db.dropIfLost();
    } catch (const std::exception &e) {
        failed(QStringLiteral("Erro interno no servidor de aplicação: %1").arg(QString::fromUtf8(e.what())));
        reply.refs = request.args;
    }
    return reply;
}

QByteArray ServTranService::signIn(const QString &password, const CallContext &context)
{
    protocol::Reply reply;
    try {
        if (operatorPasswordMatches(m_db, context.operatorCode, password))
            reply.value = true;
        else
            reply.fault = QStringLiteral("Operador ou senha inválidos.");
    } catch (const Error &e) {
        reply.fault = QStringLiteral("Não foi possível verificar a senha do operador: %1").arg(e.message());
    }
    return protocol::encodeReply(reply);
}

bool ServTranService::isLongCall(const QString &method)
{
    return method == QLatin1String("CalcServTrans") || method == QLatin1String("SetServTran");
}

QByteArray ServTranService::handle(const QByteArray &requestPayload, const CallContext &context)
{
    protocol::Reply reply;
    try {
        reply = call(protocol::decodeRequest(requestPayload), context, requestPayload.size());
    } catch (const protocol::PacketError &e) {
        reply.fault = QStringLiteral("Requisição malformada: %1").arg(e.message());
    }
    return encode(reply);
}

bool ServTranService::onlyReads(const QString &method)
{
    static const QStringList reads = {QStringLiteral("GetDados"),    QStringLiteral("GetPadrao"),
                                      QStringLiteral("GetServTran"), QStringLiteral("GetEtiqueta"),
                                      QStringLiteral("GetPtoEntrega"), QStringLiteral("PratoAux"),
                                      QStringLiteral("getDadosPrato"), QStringLiteral("GetHistorico")};
    return reads.contains(method);
}

QByteArray ServTranService::encode(const protocol::Reply &reply)
{
    try {
        return protocol::encodeReply(reply);
    } catch (const std::exception &e) {
        protocol::Reply fault;
        fault.fault = QStringLiteral("Erro interno ao montar a resposta: %1").arg(QString::fromUtf8(e.what()));
        return protocol::encodeReply(fault);
    }
}

void ServTranService::allowBranch(const QString &branch) { m_access->require(branch); }

ServTranService::Day ServTranService::dayArguments(const Arguments &args)
{
    Day day{args.text(0, "CDFILIAL", 4), args.text(1, "CDSERVFILI", 5), args.date(2, "DTSERVTRAN")};
    allowBranch(day.branch);
    return day;
}

} // namespace server
