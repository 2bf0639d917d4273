// Reading a day and the data the screen needs while a dish row is entered.

#include "arguments.h"
#include "database.h"
#include "labellinks.h"
#include "packets.h"
#include "service.h"
#include "sidereader.h"

#include <protocol/remoteresult.h>
#include <rules/coldchain.h>

#include <optional>

namespace server {

namespace cold = rules::cold;

namespace {

const QString kDayCondition = QStringLiteral(
    "S.CDFILIAL = :CDFILIAL AND S.CDSERVFILI = :CDSERVFILI AND S.DTSERVTRAN = :DTSERVTRAN");

void bindDay(Query &query, const ServTranService::Day &day)
{
    query.bind(QStringLiteral("CDFILIAL"), day.branch)
        .bind(QStringLiteral("CDSERVFILI"), day.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), day.date);
}

QVariant packetArray(const QVariantList &packets) { return protocol::resultOk(packets); }

} // namespace

// One row per delivery point that has dish rows that day. The diners of a point are kept in each
// of its dish rows (the screen writes them into every row it saves), so they are read back from there.
QVariant ServTranService::pointsPacket(Database &db, const Day &day)
{
    Query query(db, QStringLiteral(
        "SELECT S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
        "       S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE, MAX(S.QTCOMECLIST), MAX(S.QTEFETCLIST) "
        "FROM SERVTRAN S "
        "LEFT JOIN CLIENTE C ON C.CDCLIENTE = S.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = S.CDFILIAL AND D.CDDESTFILI = S.CDDESTFILI "
        "WHERE ") + kDayCondition + QStringLiteral(
        " GROUP BY S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
        "         S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE "
        "ORDER BY COALESCE(C.NMRAZSOCCLIE, ''), S.CDCLIENTE, S.CDDESTFILI"));
    bindDay(query, day);
    return packetValue(packetFromQuery(query, fields::padrao()));
}

QVariant ServTranService::dishesPacket(Database &db, const Day &day)
{
    QStringList columns;
    for (const protocol::PacketField &f : fields::servTran()) {
        if (f.name == QLatin1String("NMPRATO"))
            columns << QStringLiteral("COALESCE(P.NMPRATO, S.NMPRATO)");
        else if (f.name == QLatin1String("SGUNIDADE"))
            columns << QStringLiteral("COALESCE(S.SGUNIDADE, P.SGUNIDADE)");
        else
            columns << QStringLiteral("S.") + f.name;
    }
    Query query(db, QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) + QStringLiteral(
        " FROM SERVTRAN S "
        "LEFT JOIN PRATO P ON P.CDPRATO = S.CDPRATO AND P.CDFILAUXPRAT = S.CDFILAUXPRAT "
        "WHERE ") + kDayCondition + QStringLiteral(
        " ORDER BY S.CDCLIENTE, S.CDDESTFILI, S.NRSERVTRAN, S.CDDIETPADST"));
    bindDay(query, day);
    return packetValue(packetFromQuery(query, fields::servTran()));
}

QVariant ServTranService::labelsPacket(Database &db, const Day &day)
{
    QStringList columns;
    for (const protocol::PacketField &f : fields::etiqueta())
        columns << QStringLiteral("S.") + f.name;
    Query query(db, QStringLiteral("SELECT ") + columns.join(QStringLiteral(", "))
                        + QStringLiteral(" FROM ETIQSERVTRAN S WHERE ") + kDayCondition + QStringLiteral(
        " ORDER BY S.CDFILIAL, S.CDSERVFILI, S.DTSERVTRAN, S.CDDIETPADST, S.NRSERVTRAN, S.NRSEQUETIQTR"));
    bindDay(query, day);
    return packetValue(packetFromQuery(query, fields::etiqueta()));
}

QVariant ServTranService::dinersPacket(Database &db, const Day &day)
{
    Query query(db, QStringLiteral("SELECT S.QTCOMESTICAR FROM COMESERV S WHERE ") + kDayCondition);
    bindDay(query, day);
    query.exec();
    // always exactly one row: 0 when the day has no diners registered
    const double diners = query.next() ? query.number(0).value_or(0.0) : 0.0;
    return packetValue(packetOf(fields::comenServ(), {{diners}}));
}

QVariant ServTranService::getDados(const QVariantList &list)
{
    const Day day = dayArguments(Arguments(QStringLiteral("GetDados"), list, 3));
    Transaction snapshot(m_db, Transaction::Read);
    // On a big day the labels take about as long to read as the points and dishes together: a side
    // reader, when one can share the snapshot, reads those while this thread reads the labels.
    const auto pointsAndDishes = [day](Database &db) { return QVariantList{pointsPacket(db, day), dishesPacket(db, day)}; };
    std::optional<SideReader::Pending> beside =
        m_side ? m_side->readBeside(m_db, [&](Database &side) { return QVariant(pointsAndDishes(side)); }) : std::nullopt;
    const QVariant labels = labelsPacket(m_db, day);
    const QVariant diners = dinersPacket(m_db, day);
    QVariantList packets = beside ? beside->take().toList() : pointsAndDishes(m_db);
    packets << labels << diners;
    snapshot.commit();
    return packetArray(packets);
}

QVariant ServTranService::getPadrao(const QVariantList &list)
{
    return protocol::resultOk(pointsPacket(m_db, dayArguments(Arguments(QStringLiteral("GetPadrao"), list, 3))));
}

QVariant ServTranService::getServTran(const QVariantList &list)
{
    return protocol::resultOk(dishesPacket(m_db, dayArguments(Arguments(QStringLiteral("GetServTran"), list, 3))));
}

// The print module's labels of a day: every stored label with the names of what it refers to,
// and what its cold chain prints: the dish's conservation mode, its safe time (the rules' limit
// shortened by the dish and the branch), when the row's labels were made and the use-by from then.
// A label whose branch, service, client, point or dish row is missing still comes, with its
// codes and the names it has (none of the joins may drop it).
QVariant ServTranService::getEtiquetasImpressao(const QVariantList &list)
{
    const Day day = dayArguments(Arguments(QStringLiteral("GetEtiquetasImpressao"), list, 3));
    return protocol::resultOk(packetValue(packetOf(printLabelFields(), printLabelRows(day))));
}

const QList<protocol::PacketField> &ServTranService::printLabelFields()
{
    using protocol::FieldKind;
    const auto text = [](const char *name, int size) { return protocol::PacketField{QLatin1String(name), FieldKind::String, size, false, false}; };
    const auto other = [](const char *name, FieldKind kind) { return protocol::PacketField{QLatin1String(name), kind, 0, false, false}; };
    static const QList<protocol::PacketField> fields = {
        text("CDDIETPADST", 4), text("NRSERVTRAN", 10), text("NRSEQUETIQTR", 4), other("QTPRATETIQTR", FieldKind::Float),
        text("CDCLIENTE", 21), text("CDDESTFILI", 3), text("CDPRATO", 10),
        text("NMFILIAL", 30), text("NMSERVICO", 40), text("NMRAZSOCCLIE", 50), text("NMFANTCLIE", 50),
        text("NMDESTFILI", 30), text("NMPRATO", 40), text("SGUNIDADE", 10),
        text("IDCONSERV", 1), other("QTHORASCONS", FieldKind::Float), other("DTHRPREPARO", FieldKind::DateTime),
        other("DTHRVALIDADE", FieldKind::DateTime), text("DSLINK", 400)};
    return fields;
}

// The day's labels as they print: names, the dish's mode, its safe time, preparation and use-by,
// and the link of the label's receipt when the server signs links.
QList<QList<QVariant>> ServTranService::printLabelRows(const Day &day, const LabelKey *only)
{
    std::optional<LinkSigner> signer;
    if (!m_settings.webUrl.isEmpty())
        signer.emplace(m_db, m_settings.webUrl);
    const QList<protocol::PacketField> &fields = printLabelFields();
    constexpr int kNamed = 14;   // columns passed on as read; the cold chain's follow
    Query query(m_db, QStringLiteral(
        "SELECT S.CDDIETPADST, S.NRSERVTRAN, S.NRSEQUETIQTR, S.QTPRATETIQTR, S.CDCLIENTE, S.CDDESTFILI, S.CDPRATO, "
        "       F.NMFILIAL, V.NMSERVICO, C.NMRAZSOCCLIE, C.NMFANTCLIE, D.NMDESTFILI, "
        "       COALESCE(T.NMPRATO, P.NMPRATO), COALESCE(T.SGUNIDADE, P.SGUNIDADE), "
        "       K.IDCONSERV, K.QTHORASCONS, B.QTHORASCONS, R.DTHRPREPARO "
        "FROM ETIQSERVTRAN S "
        "LEFT JOIN SERVTRAN T ON T.CDFILIAL = S.CDFILIAL AND T.CDSERVFILI = S.CDSERVFILI AND T.DTSERVTRAN = S.DTSERVTRAN "
        "      AND T.CDDIETPADST = S.CDDIETPADST AND T.NRSERVTRAN = S.NRSERVTRAN "
        "LEFT JOIN FILIAL F ON F.CDFILIAL = S.CDFILIAL "
        "LEFT JOIN SERVICO V ON V.CDFILIAL = S.CDFILIAL AND V.CDSERVFILI = S.CDSERVFILI "
        "LEFT JOIN CLIENTE C ON C.CDCLIENTE = S.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = S.CDFILIAL AND D.CDDESTFILI = S.CDDESTFILI "
        "LEFT JOIN PRATO P ON P.CDPRATO = S.CDPRATO AND P.CDFILAUXPRAT = S.CDFILAUXPRAT "
        "LEFT JOIN CONSPRATO K ON K.CDPRATO = S.CDPRATO AND K.CDFILAUXPRAT = S.CDFILAUXPRAT "
        "LEFT JOIN CONSFILI B ON B.CDFILIAL = S.CDFILIAL AND B.IDCONSERV = K.IDCONSERV "
        "LEFT JOIN PREPSERVTRAN R ON R.CDFILIAL = S.CDFILIAL AND R.CDSERVFILI = S.CDSERVFILI "
        "      AND R.DTSERVTRAN = S.DTSERVTRAN AND R.CDDIETPADST = S.CDDIETPADST AND R.NRSERVTRAN = S.NRSERVTRAN "
        "WHERE ") + kDayCondition + QString::fromLatin1(only ? " AND S.CDDIETPADST = :CDDIETPADST AND S.NRSERVTRAN = :NRSERVTRAN "
                                                                  "AND S.NRSEQUETIQTR = :NRSEQUETIQTR" : "")
        + QStringLiteral(
        " ORDER BY S.CDDESTFILI, COALESCE(C.NMRAZSOCCLIE, ''), S.CDCLIENTE, S.CDDIETPADST, S.NRSERVTRAN, S.NRSEQUETIQTR"));
    bindDay(query, day);
    if (only)
        query.bind(QStringLiteral("CDDIETPADST"), only->diet)
            .bind(QStringLiteral("NRSERVTRAN"), only->number)
            .bind(QStringLiteral("NRSEQUETIQTR"), only->label);
    query.exec();
    const auto hours = [](const QVariant &v) { return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble()); };
    QList<QList<QVariant>> rows;
    while (query.next()) {
        QList<QVariant> row;
        row.reserve(fields.size());
        for (int i = 0; i < kNamed; ++i)
            row << query.value(i);
        const QVariant code = query.value(kNamed);
        const std::optional<cold::Conservation> mode = cold::conservationFromCode(code.toString());
        const double safe = cold::safeHours(mode, hours(query.value(kNamed + 1)), hours(query.value(kNamed + 2)));
        // the kitchen's wall clock, as the label prints it
        const QDateTime prepared = m_db.dateTimeFromSql(query.value(kNamed + 3)).toLocalTime();
        row << (mode ? QVariant(cold::conservationCode(*mode)) : QVariant(QMetaType::fromType<QString>())) << safe
            << (prepared.isValid() ? QVariant(prepared) : QVariant(QMetaType::fromType<QDateTime>()))
            << (prepared.isValid() ? QVariant(cold::useBy(prepared, safe)) : QVariant(QMetaType::fromType<QDateTime>()));
        const QString link = signer ? signer->url({day.branch, day.service, day.date, row[0].toString(), row[1].toString(),
                                                    row[2].toString()})
                                    : QString();
        row << (link.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(link));
        rows << row;
    }
    return rows;
}

QVariant ServTranService::getEtiqueta(const QVariantList &list)
{
    return protocol::resultOk(labelsPacket(m_db, dayArguments(Arguments(QStringLiteral("GetEtiqueta"), list, 3))));
}

// Mode "" looks up one point of the branch (an empty packet when there is none); "T" lists them all.
QVariant ServTranService::getPtoEntrega(const QVariantList &list)
{
    const Arguments args(QStringLiteral("GetPtoEntrega"), list, 3);
    const QString branch = args.text(0, "CDFILIAL", 4);
    allowBranch(branch);
    const QString mode = args.text(2, "modo", 1);
    if (!mode.isEmpty() && mode != QLatin1String("T"))
        throw Fault(QStringLiteral("GetPtoEntrega: modo \"%1\" desconhecido; use \"\" ou \"T\".").arg(mode));
    const bool all = mode == QLatin1String("T");
    const QString code = all ? QString() : args.text(1, "CDDESTFILI", 3);
    Query query(m_db, all ? QStringLiteral("SELECT CDDESTFILI, NMDESTFILI FROM DESTFILI "
                                           "WHERE CDFILIAL = :CDFILIAL ORDER BY CDDESTFILI")
                          : QStringLiteral("SELECT CDDESTFILI, NMDESTFILI FROM DESTFILI "
                                           "WHERE CDFILIAL = :CDFILIAL AND CDDESTFILI = :CDDESTFILI"));
    query.bind(QStringLiteral("CDFILIAL"), branch);
    if (!all)
        query.bind(QStringLiteral("CDDESTFILI"), code);
    return protocol::resultOk(packetValue(packetFromQuery(query, fields::ptoEntrega())));
}

// True when the dish already has a row that day for that client and point (any diet).
QVariant ServTranService::pratoAux(const QVariantList &list)
{
    const Arguments args(QStringLiteral("PratoAux"), list, 7);
    allowBranch(args.text(2, "CDFILIAL", 4));
    Query query(m_db, QStringLiteral(
        "SELECT COUNT(*) FROM SERVTRAN S WHERE ") + kDayCondition + QStringLiteral(
        " AND S.CDPRATO = :CDPRATO AND S.CDFILAUXPRAT = :CDFILAUXPRAT"
        " AND S.CDCLIENTE = :CDCLIENTE AND S.CDDESTFILI = :CDDESTFILI"));
    query.bind(QStringLiteral("CDPRATO"), args.text(0, "CDPRATO", 10))
        .bind(QStringLiteral("CDFILAUXPRAT"), args.text(1, "CDFILAUXPRAT", 4))
        .bind(QStringLiteral("CDFILIAL"), args.text(2, "CDFILIAL", 4))
        .bind(QStringLiteral("CDSERVFILI"), args.text(3, "CDSERVFILI", 5))
        .bindDate(QStringLiteral("DTSERVTRAN"), args.date(4, "DTSERVTRAN"))
        .bind(QStringLiteral("CDCLIENTE"), args.text(5, "CDCLIENTE", 21))
        .bind(QStringLiteral("CDDESTFILI"), args.text(6, "CDDESTFILI", 3));
    query.exec();
    return protocol::resultOk(query.next() && query.count(0) > 0);
}

// [registered data of the dish for the service (no row when none), its rounding step and unit,
//  the branch's sample of that unit, the branch's default minimum fill].
QVariant ServTranService::getDadosPrato(const QVariantList &list)
{
    const Arguments args(QStringLiteral("getDadosPrato"), list, 4);
    const QString branch = args.text(0, "CDFILIAL", 4);
    allowBranch(branch);
    const QString service = args.text(1, "CDSERVFILI", 5);
    const QString dish = args.text(2, "CDPRATO", 10);
    const QString owner = args.text(3, "CDFILAUXPRAT", 4);
    // a branch's own dish is that branch's: its data only to an operator who may use it
    if (owner != QLatin1String("P") && owner != branch)
        allowBranch(owner);
    const auto bindDish = [&](Query &q) {
        q.bind(QStringLiteral("CDPRATO"), dish).bind(QStringLiteral("CDFILAUXPRAT"), owner);
    };

    Transaction snapshot(m_db, Transaction::Read);
    Query data(m_db, QStringLiteral(
        "SELECT QTPADRAO, QTCONTAI, QTAMOSTRAUN, PERCENTUAL FROM PRATOSERV "
        "WHERE CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI "
        "AND CDPRATO = :CDPRATO AND CDFILAUXPRAT = :CDFILAUXPRAT"));
    data.bind(QStringLiteral("CDFILIAL"), branch).bind(QStringLiteral("CDSERVFILI"), service);
    bindDish(data);
    const QVariant dadosPrato = packetValue(packetFromQuery(data, fields::dadosPrato()));

    Query prato(m_db, QStringLiteral("SELECT VRARREDTRANS, SGUNIDADE FROM PRATO "
                                     "WHERE CDPRATO = :CDPRATO AND CDFILAUXPRAT = :CDFILAUXPRAT"));
    bindDish(prato);
    const QVariant pratoPacket = packetValue(packetFromQuery(prato, fields::prato()));

    Query unit(m_db, QStringLiteral(
        "SELECT U.QTAMOSTRAUN FROM UNIDMEDIFILI U "
        "JOIN PRATO P ON P.SGUNIDADE = U.SGUNIDADE "
        "WHERE U.CDFILIAL = :CDFILIAL AND P.CDPRATO = :CDPRATO AND P.CDFILAUXPRAT = :CDFILAUXPRAT"));
    unit.bind(QStringLiteral("CDFILIAL"), branch);
    bindDish(unit);
    const QVariant unitPacket = packetValue(packetFromQuery(unit, fields::unidMediFili()));

    Query percent(m_db, QStringLiteral("SELECT VRPEMINCONT FROM PARAMFILI WHERE CDFILIAL = :CDFILIAL"));
    percent.bind(QStringLiteral("CDFILIAL"), branch);
    const QVariant percentPacket = packetValue(packetFromQuery(percent, fields::percent()));
    snapshot.commit();

    return packetArray({dadosPrato, pratoPacket, unitPacket, percentPacket});
}

// The highest row number of the day and diet; empty text when there is none yet.
QVariant ServTranService::getSeqServTran(const QVariantList &list)
{
    const Arguments args(QStringLiteral("GetSeqServTran"), list, 4);
    const Day day = dayArguments(args);
    // The highest number the day and diet ever had, its deleted rows' too (the history of changes
    // keeps them): a number is never handed out again, so that a printed label's code, which holds
    // it, never comes to name another dish row.
    Query query(m_db, QStringLiteral(
        "SELECT MAX(N) FROM ("
        "  SELECT MAX(S.NRSERVTRAN) AS N FROM SERVTRAN S WHERE ") + kDayCondition + QStringLiteral(
        "   AND S.CDDIETPADST = :CDDIETPADST"
        "  UNION ALL"
        "  SELECT MAX(H.NRSERVTRAN) FROM HISTSERVTRAN H WHERE H.CDFILIAL = :HCDFILIAL AND H.CDSERVFILI = :HCDSERVFILI"
        "   AND H.DTSERVTRAN = :HDTSERVTRAN AND H.CDDIETPADST = :HCDDIETPADST) NUMBERS"));
    bindDay(query, day);
    const QString diet = args.text(3, "CDDIETPADST", 4);
    query.bind(QStringLiteral("CDDIETPADST"), diet)
        .bind(QStringLiteral("HCDFILIAL"), day.branch)
        .bind(QStringLiteral("HCDSERVFILI"), day.service)
        .bindDate(QStringLiteral("HDTSERVTRAN"), day.date)
        .bind(QStringLiteral("HCDDIETPADST"), diet);
    query.exec();
    const QString highest = query.next() ? query.text(0) : QString();
    return protocol::resultOk(packetValue(packetOf(fields::seqServTran(), {{highest}})));
}

} // namespace server
