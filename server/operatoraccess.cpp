#include "operatoraccess.h"

#include "database.h"
#include "errors.h"

namespace server {

void OperatorAccess::require(const QString &branch)
{
    if (m_allowed.contains(branch))
        return;
    // one statement, three lookups by key: the per-call price of the check
    Query query(m_db, QStringLiteral(
        "SELECT (SELECT COUNT(*) FROM OPERADOR WHERE CDOPERADOR = :CDOPERADOR), "
        "(SELECT COUNT(*) FROM OPERFILI WHERE CDOPERADOR = :CDOPERADOR), "
        "(SELECT COUNT(*) FROM OPERFILI WHERE CDOPERADOR = :CDOPERADOR AND CDFILIAL = :CDFILIAL)"));
    query.bind(QStringLiteral("CDOPERADOR"), m_operator).bind(QStringLiteral("CDFILIAL"), branch);
    query.exec();
    if (!query.next() || query.count(0) == 0)
        throw Fault(QStringLiteral("Operador %1 não cadastrado.").arg(m_operator));
    if (query.count(1) > 0 && query.count(2) == 0)
        throw Fault(QStringLiteral("Operador sem acesso à filial %1.").arg(branch));
    m_allowed.insert(branch);
}

} // namespace server
