// Container labels of a row (CalcEtiqueta) and the recalculation of whole services (CalcServTrans).

#include "arguments.h"
#include <rules/containercalc.h>
#include "database.h"
#include "history.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <QHash>
#include <QLocale>
#include <QSet>
#include <cmath>
#include <optional>
#include <vector>

namespace server {

namespace calc = rules::calc;

namespace {

constexpr int kMaxLabels = 9999;   // label numbers have four digits
constexpr int kMaxDays = 366;

const QString kRowCondition = QStringLiteral(
    "CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND DTSERVTRAN = :DTSERVTRAN "
    "AND CDDIETPADST = :CDDIETPADST AND NRSERVTRAN = :NRSERVTRAN");

void bindRowKey(Query &query, const ServTranService::RowKey &row)
{
    query.bind(QStringLiteral("CDFILIAL"), row.branch)
        .bind(QStringLiteral("CDSERVFILI"), row.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), row.date)
        .bind(QStringLiteral("CDDIETPADST"), row.diet)
        .bind(QStringLiteral("NRSERVTRAN"), row.number);
}

bool isCount(double value) { return value >= 0 && value == std::trunc(value); }

// The label inputs as CalcEtiqueta takes them, checked before anything is written.
struct LabelPlan {
    double fullCount = 0, fullQuantity = 0, partialCount = 0, partialQuantity = 0;
};

LabelPlan checkedPlan(double fullWithSample, double containerQuantity, double partialQuantity,
                      double partialWithSample, double fullWithoutSample, double partialWithoutSample)
{
    if (!isCount(fullWithSample) || !isCount(fullWithoutSample))
        throw Refusal(QStringLiteral("O número de containers completos deve ser um número inteiro maior ou igual a zero."));
    if (!isCount(partialWithSample) || partialWithSample > 2 || !isCount(partialWithoutSample) || partialWithoutSample > 2)
        throw Refusal(QStringLiteral("O número de containers parciais deve ser 0, 1 ou 2."));
    if (!std::isfinite(containerQuantity) || !std::isfinite(partialQuantity) || containerQuantity > calc::kMaxQuantity
        || partialQuantity > calc::kMaxQuantity)
        throw Refusal(QStringLiteral("A quantidade de um container deve ser um número de até %1.")
                          .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(calc::kMaxQuantity, 'f', 0)));
    if (containerQuantity < 0 || partialQuantity < 0)
        throw Refusal(QStringLiteral("A quantidade de um container não pode ser negativa."));
    if (fullWithSample + partialWithSample > kMaxLabels)
        throw Refusal(QStringLiteral("O serviço transportado daria %1 etiquetas; o máximo é %2.")
                          .arg(fullWithSample + partialWithSample, 0, 'f', 0)
                          .arg(kMaxLabels));
    // stored like every quantity, at three decimals
    return {fullWithSample, calc::storedQuantity(containerQuantity), partialWithSample, calc::storedQuantity(partialQuantity)};
}

QString brazilian(double value) { return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', 2); }

} // namespace

// Stores the container counts with sample on the row and replaces its labels: "0001" upward, the
// full containers first, then the partial ones, so that the labels add up to the total with sample.
void ServTranService::writeLabels(const RowKey &row, double fullCount, double fullQuantity, double partialCount,
                                  double partialQuantity, const QList<double> *current)
{
    Query update(m_db, QStringLiteral("UPDATE SERVTRAN SET QTTOTACONTSTCAMOS = :TOTAL, QTCONTCOMPSTCAMOS = :FULL "
                                      "WHERE ") + kRowCondition);
    update.bind(QStringLiteral("TOTAL"), fullCount + partialCount).bind(QStringLiteral("FULL"), fullCount);
    bindRowKey(update, row);
    update.exec();

    const int total = int(fullCount + partialCount);
    const auto quantityOf = [&](int i) { return i < int(fullCount) ? fullQuantity : partialQuantity; };
    // Labels made again the same are the ones already printed: they stay as they are, with their
    // preparation time, and nothing is written again.
    bool sameLabels = true;
    if (current) {   // (a label always names its row's client, point and dish: its foreign key)
        sameLabels = current->size() == total;
        for (int i = 0; sameLabels && i < total; ++i)
            sameLabels = current->at(i) == quantityOf(i);
    } else {
        Query labels(m_db, QStringLiteral("SELECT QTPRATETIQTR, CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT "
                                          "FROM ETIQSERVTRAN WHERE ") + kRowCondition
                               + QStringLiteral(" ORDER BY NRSEQUETIQTR"));
        bindRowKey(labels, row);
        labels.exec();
        int i = 0;
        for (; labels.next(); ++i)
            sameLabels = sameLabels && i < total && labels.value(0).toDouble() == quantityOf(i)
                         && labels.text(1) == row.client && labels.text(2) == row.point
                         && labels.text(3) == row.dish && labels.text(4) == row.dishOwner;
        sameLabels = sameLabels && i == total;
    }
    if (sameLabels)
        return;

    Query remove(m_db, QStringLiteral("DELETE FROM ETIQSERVTRAN WHERE ") + kRowCondition);
    bindRowKey(remove, row);
    remove.exec();

    Query insert(m_db, QStringLiteral(
        "INSERT INTO ETIQSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, "
        "CDDESTFILI, CDPRATO, CDFILAUXPRAT, NRSEQUETIQTR, QTPRATETIQTR) VALUES (:CDFILIAL, :CDSERVFILI, "
        ":DTSERVTRAN, :CDDIETPADST, :NRSERVTRAN, :CDCLIENTE, :CDDESTFILI, :CDPRATO, :CDFILAUXPRAT, "
        ":NRSEQUETIQTR, :QTPRATETIQTR)"));
    bindRowKey(insert, row);
    insert.bind(QStringLiteral("CDCLIENTE"), row.client)
        .bind(QStringLiteral("CDDESTFILI"), row.point)
        .bind(QStringLiteral("CDPRATO"), row.dish)
        .bind(QStringLiteral("CDFILAUXPRAT"), row.dishOwner);
    for (int i = 0; i < total; ++i) {
        insert.bind(QStringLiteral("NRSEQUETIQTR"), QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0')))
            .bind(QStringLiteral("QTPRATETIQTR"), quantityOf(i));
        insert.exec();
    }
    // New labels are printed when the food is portioned: now is their preparation time.
    Query prepared(m_db, QStringLiteral(
        "INSERT INTO PREPSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, DTHRPREPARO) "
        "VALUES (:CDFILIAL, :CDSERVFILI, :DTSERVTRAN, :CDDIETPADST, :NRSERVTRAN, :DTHRPREPARO) "
        "ON CONFLICT (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN) "
        "DO UPDATE SET DTHRPREPARO = excluded.DTHRPREPARO"));
    bindRowKey(prepared, row);
    prepared.bind(QStringLiteral("DTHRPREPARO"), m_db.toSql(QDateTime::currentDateTimeUtc()));
    prepared.exec();
}

QVariant ServTranService::calcEtiqueta(const QVariantList &list)
{
    const Arguments args(QStringLiteral("CalcEtiqueta"), list, 15);
    RowKey row;
    row.branch = args.text(0, "CDFILIAL", 4);
    allowBranch(row.branch);
    row.service = args.text(1, "CDSERVFILI", 5);
    row.point = args.text(2, "CDDESTFILI", 3);
    row.number = args.text(3, "NRSERVTRAN", 10);
    row.client = args.text(4, "CDCLIENTE", 21);
    row.diet = args.text(5, "CDDIETPADST", 4);
    row.date = args.date(6, "DTSERVTRAN");
    row.dishOwner = args.text(7, "CDFILAUXPRAT", 4);
    row.dish = args.text(8, "CDPRATO", 10);
    const double fullWithoutSample = args.number(9, "containers completos sem amostra");
    const double container = args.number(10, "QTCONTAIST");
    const double partialQuantity = args.number(11, "quantidade parcial com amostra");
    const double partialWithoutSample = args.number(12, "containers parciais sem amostra");
    const double fullWithSample = args.number(13, "containers completos com amostra");
    const double partialWithSample = args.number(14, "containers parciais com amostra");
    const LabelPlan plan = checkedPlan(fullWithSample, container, partialQuantity, partialWithSample,
                                       fullWithoutSample, partialWithoutSample);

    Transaction transaction(m_db);
    const QString rowCondition = kRowCondition + QStringLiteral(
        " AND CDCLIENTE = :CDCLIENTE AND CDDESTFILI = :CDDESTFILI AND CDPRATO = :CDPRATO AND CDFILAUXPRAT = :CDFILAUXPRAT");
    const auto bindRow = [&row](Query &query) {
        bindRowKey(query, row);
        query.bind(QStringLiteral("CDCLIENTE"), row.client)
            .bind(QStringLiteral("CDDESTFILI"), row.point)
            .bind(QStringLiteral("CDPRATO"), row.dish)
            .bind(QStringLiteral("CDFILAUXPRAT"), row.dishOwner);
    };
    ChangeHistory history(m_db, context(), QStringLiteral("CalcEtiqueta"));
    // the history's read of the row as it was tells whether it is there, and saves counting it
    bool found = history.readBefore(rowCondition, bindRow) > 0;
    if (!history.recording()) {
        Query find(m_db, QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE ") + rowCondition);
        bindRow(find);
        find.exec();
        found = find.next() && find.count(0) > 0;
    }
    if (!found)
        throw Refusal(QStringLiteral("Serviço transportado %1 não encontrado; as etiquetas não foram calculadas.")
                          .arg(row.number));
    // the labels as the history read them, not read again
    const std::optional<QList<double>> labels =
        history.labelsBefore({row.branch, row.service, m_db.toSql(row.date), row.diet, row.number});
    writeLabels(row, plan.fullCount, plan.fullQuantity, plan.partialCount, plan.partialQuantity, labels ? &*labels : nullptr);
    // what writeLabels wrote on the row and its labels, not read back
    QList<double> quantities(qsizetype(plan.fullCount), plan.fullQuantity);
    quantities.insert(quantities.size(), qsizetype(plan.partialCount), plan.partialQuantity);
    history.afterWriting({{QStringLiteral("QTTOTACONTSTCAMOS"), plan.fullCount + plan.partialCount},
                          {QStringLiteral("QTCONTCOMPSTCAMOS"), plan.fullCount}},
                         quantities);
    history.write();
    transaction.commit();
    return QString();
}

namespace {

// Entries a list of CalcServTrans may hold, and days of service one run may calculate: each day
// of a service is a transaction of its own, and the whole run holds one worker.
constexpr qsizetype kMaxListEntries = 1000;
constexpr qint64 kMaxServiceDays = 36600;

// "_A_B_" lists of fixed-width entries; "_" alone is the empty list. Repeats count once.
QStringList parseList(const QString &list, int entryLength, const QString &what)
{
    if (list == QLatin1String("_"))
        return {};
    const auto malformed = [&] {
        return Refusal(QStringLiteral("Lista de %1 inválida: \"%2\".").arg(what, list.left(60)));
    };
    const qsizetype stride = entryLength + 1;
    if (list.size() < 2 || (list.size() - 1) % stride != 0 || !list.startsWith(QLatin1Char('_')))
        throw malformed();
    const qsizetype count = (list.size() - 1) / stride;
    if (count > kMaxListEntries)
        throw Refusal(QStringLiteral("Lista de %1 com mais de %2 itens.").arg(what).arg(kMaxListEntries));
    QStringList entries;
    QSet<QString> seen;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype start = 1 + i * stride;
        if (list.at(start + entryLength) != QLatin1Char('_'))
            throw malformed();
        const QString entry = list.mid(start, entryLength);
        if (entry.contains(QLatin1Char('_')))
            throw malformed();
        if (!seen.contains(entry)) {
            seen.insert(entry);
            entries << entry;
        }
    }
    return entries;
}

struct StoredRow {
    ServTranService::RowKey key;
    std::optional<double> diners, perPerson, perContainer, sample;
    std::optional<double> registeredPerPerson, registeredPerContainer, dishPercent, roundingStep;
};

} // namespace

// Recalculates every dish row of one service on one day, in one transaction: the registered
// quantities of the dish replace the row's (as a new row gets them), then the total, the container
// split and the labels follow the same rules as on the screen.
void ServTranService::calculateDay(const QString &branch, const QString &service, QDate date)
{
    using calc::Real;
    Transaction transaction(m_db);

    Query percent(m_db, QStringLiteral("SELECT VRPEMINCONT FROM PARAMFILI WHERE CDFILIAL = :CDFILIAL"));
    percent.bind(QStringLiteral("CDFILIAL"), branch);
    percent.exec();
    const std::optional<double> branchPercent = percent.next() ? percent.number(0) : std::nullopt;

    ChangeHistory history(m_db, context(), QStringLiteral("CalcServTrans"));
    const QString dayCondition = QStringLiteral("CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND DTSERVTRAN = :DTSERVTRAN");
    const auto bindDay = [&](Query &query) {
        query.bind(QStringLiteral("CDFILIAL"), branch)
            .bind(QStringLiteral("CDSERVFILI"), service)
            .bindDate(QStringLiteral("DTSERVTRAN"), date);
    };
    history.readBefore(dayCondition, bindDay);

    {
        std::vector<StoredRow> rows;
        {
            Query select(m_db, QStringLiteral(
                "SELECT S.CDDIETPADST, S.NRSERVTRAN, S.CDCLIENTE, S.CDDESTFILI, S.CDPRATO, S.CDFILAUXPRAT, "
                "       S.QTCOMESTIST, S.QTPADRAOST, S.QTCONTAIST, S.QTAMOSTRAST, "
                "       D.QTPADRAO, D.QTCONTAI, D.PERCENTUAL, P.VRARREDTRANS "
                "FROM SERVTRAN S "
                "LEFT JOIN PRATOSERV D ON D.CDFILIAL = S.CDFILIAL AND D.CDSERVFILI = S.CDSERVFILI "
                "      AND D.CDPRATO = S.CDPRATO AND D.CDFILAUXPRAT = S.CDFILAUXPRAT "
                "LEFT JOIN PRATO P ON P.CDPRATO = S.CDPRATO AND P.CDFILAUXPRAT = S.CDFILAUXPRAT "
                "WHERE S.CDFILIAL = :CDFILIAL AND S.CDSERVFILI = :CDSERVFILI AND S.DTSERVTRAN = :DTSERVTRAN "
                "ORDER BY S.CDDIETPADST, S.NRSERVTRAN"));
            select.bind(QStringLiteral("CDFILIAL"), branch)
                .bind(QStringLiteral("CDSERVFILI"), service)
                .bindDate(QStringLiteral("DTSERVTRAN"), date);
            select.exec();
            while (select.next()) {
                StoredRow r;
                r.key = {branch, service, date, select.text(0), select.text(1), select.text(2),
                         select.text(3), select.text(4), select.text(5)};
                r.diners = select.number(6);
                r.perPerson = select.number(7);
                r.perContainer = select.number(8);
                r.sample = select.number(9);
                r.registeredPerPerson = select.number(10);
                r.registeredPerContainer = select.number(11);
                r.dishPercent = select.number(12);
                r.roundingStep = select.number(13);
                rows.push_back(r);
            }
        }

        Query update(m_db, QStringLiteral(
            "UPDATE SERVTRAN SET QTPADRAOST = :QTPADRAOST, QTCONTAIST = :QTCONTAIST, "
            "QTTOTAPRATST = :QTTOTAPRATST, QTTOTACONTST = :QTTOTACONTST, QTCONTCOMPST = :QTCONTCOMPST, "
            "QTPARCPRATST = :QTPARCPRATST WHERE ") + kRowCondition);
        for (const StoredRow &r : rows) {
            const QString where = QStringLiteral("Cliente %1, ponto %2, prato %3, dia %4: ")
                                      .arg(r.key.client, r.key.point, r.key.dish, date.toString(QStringLiteral("dd/MM/yyyy")));
            const double registeredPerPerson = r.registeredPerPerson.value_or(0);
            const double registeredPerContainer = r.registeredPerContainer.value_or(0);
            calc::RowInputs in;
            in.perPerson = registeredPerPerson != 0 ? registeredPerPerson : r.perPerson.value_or(0);
            in.container = registeredPerContainer != 0 ? registeredPerContainer : r.perContainer.value_or(0);
            in.sample = r.sample.value_or(0);
            in.step = r.roundingStep;
            in.registeredContainer = registeredPerContainer;
            in.dishPercent = r.dishPercent;
            in.branchPercent = branchPercent;
            if (!r.diners)
                throw Refusal(where + QStringLiteral("Comensais deve ser informado."));
            in.diners = *r.diners;
            if (const QString implausible = calc::implausibleInput(in); !implausible.isEmpty())
                throw Refusal(where + implausible);
            if (in.perPerson <= 0)
                throw Refusal(where + QStringLiteral("Quantidade por pessoa deve ser maior que zero."));
            if (in.container <= 0)
                throw Refusal(where + QStringLiteral("Quatidade por container deve ser maior que zero."));
            const Real limit = calc::dinersLimit(in.container, in.perPerson);
            if (in.diners > limit)
                throw Refusal(where + QStringLiteral("Quantidade de comensais deve ser menor ou igual à %1.")
                                          .arg(brazilian(double(limit))));

            const calc::RowFigures figures = calc::rowFigures(in);
            update.bind(QStringLiteral("QTPADRAOST"), calc::storedQuantity(in.perPerson))
                .bind(QStringLiteral("QTCONTAIST"), calc::storedQuantity(in.container))
                .bind(QStringLiteral("QTTOTAPRATST"), figures.total)
                .bind(QStringLiteral("QTTOTACONTST"), figures.containers)
                .bind(QStringLiteral("QTCONTCOMPST"), figures.complete)
                .bind(QStringLiteral("QTPARCPRATST"), figures.partial);
            bindRowKey(update, r.key);
            update.exec();

            const calc::LabelInputs &withSample = figures.withSample;
            const calc::LabelInputs &withoutSample = figures.withoutSample;
            try {
                const LabelPlan plan = checkedPlan(double(withSample.full), in.container, double(withSample.partialQuantity),
                                                   double(withSample.partialCount), double(withoutSample.full),
                                                   double(withoutSample.partialCount));
                writeLabels(r.key, plan.fullCount, plan.fullQuantity, plan.partialCount, plan.partialQuantity);
            } catch (const Refusal &e) {
                throw Refusal(where + e.message());
            }
        }
    }
    history.readAfter(dayCondition, bindDay);
    history.write();
    transaction.commit();
}

// Recalculates the listed services of the listed branches for the days from the first date to the
// second. Each day of a service is one transaction, so a long run never holds the write lock for
// long; the first failure ends the run with its message, and the days calculated before it stay
// calculated.
QVariant ServTranService::calcServTrans(const QVariantList &list)
{
    const Arguments args(QStringLiteral("CalcServTrans"), list, 6);
    // the size limit of the request bounds the lists; their entries are counted when parsed
    const QString branchList = args.text(0, "lista de filiais", int(kMaxSmallRequest));
    const QString serviceList = args.text(1, "lista de serviços", int(kMaxSmallRequest));
    const QDate first = args.date(2, "data");
    const QDate last = args.date(3, "data final");
    args.text(4, "operador", 8);
    args.dateTime(5, "data e hora");

    const QStringList branches = parseList(branchList, 4, QStringLiteral("filiais"));
    const QStringList services = parseList(serviceList, 9, QStringLiteral("serviços"));
    for (const QString &branch : branches)
        allowBranch(branch);
    if (last < first)
        throw Refusal(QStringLiteral("A data final é anterior à data inicial."));
    if (first.daysTo(last) >= kMaxDays)
        throw Refusal(QStringLiteral("O cálculo abrange no máximo %1 dias.").arg(kMaxDays));

    QHash<QString, QStringList> servicesOfBranch;
    for (const QString &key : services)
        servicesOfBranch[key.left(4)] << key.mid(4);
    qint64 serviceDays = 0;
    for (const QString &branch : branches)
        serviceDays += servicesOfBranch.value(branch).size() * (first.daysTo(last) + 1);
    if (serviceDays > kMaxServiceDays)
        throw Refusal(QStringLiteral("O cálculo abrange no máximo %1 dias de serviço; informe menos serviços ou dias.")
                          .arg(kMaxServiceDays));

    // A service that does not exist is refused before any day is calculated: its days would hold
    // a worker for nothing and answer as if something had been done.
    Query exists(m_db, QStringLiteral("SELECT 1 FROM SERVICO WHERE CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI"));
    for (const QString &branch : branches)
        for (const QString &service : servicesOfBranch.value(branch)) {
            exists.bind(QStringLiteral("CDFILIAL"), branch).bind(QStringLiteral("CDSERVFILI"), service);
            exists.exec();
            if (!exists.next())
                throw Refusal(QStringLiteral("Serviço %1 da filial %2 não cadastrado.").arg(service, branch));
        }

    for (const QString &branch : branches)
        for (const QString &service : servicesOfBranch.value(branch))
            for (QDate date = first; date <= last; date = date.addDays(1))
                calculateDay(branch, service, date);
    return protocol::resultOk(true);
}

} // namespace server
