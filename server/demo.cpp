#include "demo.h"

#include "database.h"
#include "passwords.h"
#include "service.h"

#include <protocol/remoteresult.h>

namespace server {

namespace {

// One parameterized INSERT per table, run for each row.
void insertRows(Database &db, const QString &table, const QStringList &columns, const QList<QVariantList> &rows)
{
    QStringList names;
    for (const QString &c : columns)
        names << QLatin1Char(':') + c;
    Query insert(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(table, columns.join(QStringLiteral(", ")), names.join(QStringLiteral(", "))));
    for (const QVariantList &row : rows) {
        Q_ASSERT(row.size() == columns.size());
        for (int i = 0; i < columns.size(); ++i)
            insert.bind(columns[i], row[i]);
        insert.exec();
    }
}

QStringList cols(const char *list) { return QString::fromLatin1(list).split(QLatin1Char(' ')); }

const QVariant null = QVariant(QMetaType::fromType<double>());

QChar checkDigit(const QString &digits, const QList<int> &weights)
{
    int sum = 0;
    for (int i = 0; i < weights.size(); ++i)
        sum += digits[i].digitValue() * weights[i];
    const int r = sum % 11;
    return QChar(u'0' + (r < 2 ? 0 : 11 - r));
}

} // namespace

QString cnpj(const QString &first12)
{
    QString n = first12;
    n += checkDigit(n, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
    n += checkDigit(n, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
    return n;
}

QString cpf(const QString &first9)
{
    QString n = first9;
    n += checkDigit(n, {10, 9, 8, 7, 6, 5, 4, 3, 2});
    n += checkDigit(n, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2});
    return n;
}

bool isEmpty(Database &db)
{
    Query query(db, QStringLiteral("SELECT COUNT(*) FROM FILIAL"));
    query.exec();
    return !query.next() || query.count(0) == 0;
}

void loadDemoData(Database &db)
{
    const auto s = [](const char *text) { return QVariant(QString::fromUtf8(text)); };
    {
        Transaction transaction(db);
        insertRows(db, QStringLiteral("FILIAL"), cols("CDFILIAL NMFILIAL IDSITUFILI"),
                   {{s("0001"), s("Cozinha Central Norte"), s("A")},
                    {s("0002"), s("Cozinha Industrial Sul"), s("A")},
                    {s("0003"), s("Unidade Litoral"), s("R")}});
        insertRows(db, QStringLiteral("OPERADOR"), cols("CDOPERADOR NMOPERADOR"),
                   {{s("ADMIN"), s("Administrador")}, {s("OPER1"), s("Operador da Cozinha Central Norte")},
                    {s("RECEB"), s("Recebimento nas unidades")}});
        // RECEB is the phones' web front: the server lets it do nothing but the labels' receipt.
        insertRows(db, QStringLiteral("OPERFILI"), cols("CDOPERADOR CDFILIAL"),
                   {{s("ADMIN"), s("0001")}, {s("ADMIN"), s("0002")}, {s("ADMIN"), s("0003")},
                    {s("OPER1"), s("0001")},
                    {s("RECEB"), s("0001")}, {s("RECEB"), s("0002")}, {s("RECEB"), s("0003")}});
        const QVariant demoHash = hashPassword(QString::fromLatin1(kDemoPassword));
        insertRows(db, QStringLiteral("SENHAOPER"), cols("CDOPERADOR DSHASHSENHA"),
                   {{s("ADMIN"), demoHash}, {s("OPER1"), hashPassword(QString::fromLatin1(kDemoPassword))},
                    {s("RECEB"), hashPassword(QString::fromLatin1(kDemoPassword))}});
        insertRows(db, QStringLiteral("SERVICO"), cols("CDFILIAL CDSERVFILI NMSERVICO IDSERVTRAN IDTIPOSERV"),
                   {{s("0001"), s("00001"), s("Almoço"), s("S"), s("N")},
                    {s("0001"), s("00002"), s("Jantar"), s("S"), s("N")},
                    {s("0001"), s("00003"), s("Desjejum avulso"), s("S"), s("A")},
                    {s("0001"), s("00004"), s("Lanche no local"), s("N"), s("N")},
                    {s("0002"), s("00001"), s("Almoço"), s("S"), s("N")},
                    {s("0002"), s("00002"), s("Ceia"), s("S"), s("N")}});
        // Codes of the picture 9.99.999.9999 without the dots: levels of 1, 3, 6 and 10 characters.
        insertRows(db, QStringLiteral("PRATO"), cols("CDPRATO CDFILAUXPRAT NMPRATO SGUNIDADE CDNVPRATO VRARREDTRANS"),
                   {{s("1"), s("P"), s("Pratos principais"), s("KG"), s("1"), null},
                    {s("101"), s("P"), s("Carnes"), s("KG"), s("2"), null},
                    {s("101001"), s("P"), s("Carne bovina"), s("KG"), s("3"), null},
                    {s("1010010001"), s("P"), s("Carne assada"), s("KG"), s("4"), 0.5},
                    {s("1010010002"), s("P"), s("Bife acebolado"), s("KG"), s("4"), 0.5},
                    {s("101002"), s("P"), s("Aves"), s("KG"), s("3"), null},
                    {s("1010020001"), s("P"), s("Frango grelhado"), s("KG"), s("4"), 0.1},
                    {s("2"), s("P"), s("Acompanhamentos"), s("KG"), s("1"), null},
                    {s("201"), s("P"), s("Grãos"), s("KG"), s("2"), null},
                    {s("201001"), s("P"), s("Arroz e feijão"), s("KG"), s("3"), null},
                    {s("2010010001"), s("P"), s("Arroz branco"), s("KG"), s("4"), 0.5},
                    {s("2010010002"), s("P"), s("Feijão carioca"), s("KG"), s("4"), 0.1},
                    {s("2010010003"), s("P"), s("Salada verde"), s("KG"), s("4"), null},
                    {s("3"), s("P"), s("Bebidas"), s("L"), s("1"), null},
                    {s("301"), s("P"), s("Sucos"), s("L"), s("2"), null},
                    {s("301001"), s("P"), s("Sucos naturais"), s("L"), s("3"), null},
                    {s("3010010001"), s("P"), s("Suco de laranja"), s("L"), s("4"), 0.5},
                    {s("4"), s("0001"), s("Sobremesas da casa"), s("UN"), s("1"), null},
                    {s("401"), s("0001"), s("Doces"), s("UN"), s("2"), null},
                    {s("401001"), s("0001"), s("Doces caseiros"), s("UN"), s("3"), null},
                    {s("4010010001"), s("0001"), s("Pudim de leite"), s("UN"), s("4"), null},
                    {s("4010010002"), s("0001"), s("Mousse de maracujá"), s("UN"), s("4"), null},
                    {s("5010010001"), s("0002"), s("Baião de dois"), s("KG"), s("4"), 0.5}});
        // How the dishes travel: hot food, chilled juice (24 h of its own) and desserts, a frozen
        // mousse; branch "0001" keeps chilled food two days at most.
        insertRows(db, QStringLiteral("CONSPRATO"), cols("CDPRATO CDFILAUXPRAT IDCONSERV QTHORASCONS"),
                   {{s("1010010001"), s("P"), s("Q"), null},
                    {s("1010010002"), s("P"), s("Q"), null},
                    {s("1010020001"), s("P"), s("Q"), null},
                    {s("2010010001"), s("P"), s("Q"), null},
                    {s("2010010002"), s("P"), s("Q"), null},
                    {s("2010010003"), s("P"), s("R"), null},
                    {s("3010010001"), s("P"), s("R"), 24.0},
                    {s("4010010001"), s("0001"), s("R"), null},
                    {s("4010010002"), s("0001"), s("C"), null},
                    {s("5010010001"), s("0002"), s("Q"), null}});
        insertRows(db, QStringLiteral("CONSFILI"), cols("CDFILIAL IDCONSERV QTHORASCONS"), {{s("0001"), s("R"), 48.0}});
        const QString shared = cnpj(QStringLiteral("456789120001"));
        insertRows(db, QStringLiteral("CLIENTE"), cols("CDCLIENTE NRINSJURCLIE IDTPIJURCLIE NMRAZSOCCLIE NMFANTCLIE"),
                   {{s("0000101"), cnpj(QStringLiteral("112223330001")), s("J"), s("Hospital Santa Clara Ltda"),
                     s("Hospital Santa Clara")},
                    {s("0000102"), cnpj(QStringLiteral("234567890001")), s("J"), s("Escola Nova Esperança S.A."),
                     s("Colégio Nova Esperança")},
                    {s("0000103"), shared, s("J"), s("Construtora Horizonte Ltda"), s("Horizonte")},
                    {s("0000104"), shared, s("J"), s("Construtora Horizonte Ltda - Obra Norte"), s("Horizonte Norte")},
                    {s("0000105"), cpf(QStringLiteral("123456789")), s("F"), s("Ana Paula Ferreira"), s("Ana Paula")},
                    {s("0000106"), cpf(QStringLiteral("987654321")), s("F"), s("Carlos Eduardo Souza"), s("Carlos")}});
        insertRows(db, QStringLiteral("DESTFILI"), cols("CDFILIAL CDDESTFILI NMDESTFILI"),
                   {{s("0001"), s("001"), s("Ala de internação")},
                    {s("0001"), s("002"), s("Refeitório dos funcionários")},
                    {s("0001"), s("003"), s("Residência")},
                    {s("0001"), s("004"), s("Escola - bloco A")},
                    {s("0001"), s("005"), s("Escola - bloco B")},
                    {s("0001"), s("006"), s("Canteiro de obras")},
                    {s("0002"), s("001"), s("Matriz")},
                    {s("0002"), s("002"), s("Anexo")}});
        insertRows(db, QStringLiteral("PRATOSERV"),
                   cols("CDFILIAL CDSERVFILI CDPRATO CDFILAUXPRAT QTPADRAO QTCONTAI QTAMOSTRAUN PERCENTUAL"),
                   {{s("0001"), s("00001"), s("1010010001"), s("P"), 0.15, 4.0, 0.3, 50.0},
                    {s("0001"), s("00001"), s("1010020001"), s("P"), 0.12, 3.0, 0.3, null},
                    {s("0001"), s("00001"), s("2010010001"), s("P"), 0.1, 5.0, 0.3, 0.0},
                    {s("0001"), s("00001"), s("2010010002"), s("P"), 0.08, 4.0, 0.3, 25.0},
                    {s("0001"), s("00001"), s("3010010001"), s("P"), 0.3, 10.0, 0.5, null},
                    {s("0001"), s("00001"), s("4010010001"), s("0001"), 1.0, 40.0, 1.0, null}});
        insertRows(db, QStringLiteral("UNIDMEDIFILI"), cols("CDFILIAL SGUNIDADE QTAMOSTRAUN"),
                   {{s("0001"), s("KG"), 0.3}, {s("0001"), s("L"), 0.5}, {s("0001"), s("UN"), 1.0},
                    {s("0002"), s("KG"), 0.25}});
        insertRows(db, QStringLiteral("PARAMFILI"), cols("CDFILIAL VRPEMINCONT"),
                   {{s("0001"), 30.0}, {s("0002"), 25.0}});
        const QVariant day = db.toSql(demoDay());
        insertRows(db, QStringLiteral("COMESERV"), cols("CDFILIAL CDSERVFILI DTSERVTRAN QTCOMESTICAR"),
                   {{s("0001"), s("00001"), day, 400.0}});

        // The day's dish rows as the screen saves them; the figures and labels are calculated below.
        struct Dish {
            const char *client, *point, *dish, *owner, *unit;
            double estimated;
            QVariant billing;
            double diners, perPerson, perContainer, sample;
        };
        const Dish dishes[] = {
            {"0000101", "001", "1010010001", "P", "KG", 120, null, 120, 0.15, 4, 0.3},
            {"0000101", "001", "2010010001", "P", "KG", 120, null, 120, 0.1, 5, 0.3},
            {"0000101", "001", "2010010002", "P", "KG", 120, null, 120, 0.08, 4, 0.3},
            {"0000101", "001", "3010010001", "P", "L", 120, null, 100, 0.3, 10, 0.5},
            {"0000101", "002", "1010020001", "P", "KG", 80, 75.0, 75, 0.12, 3, 0.3},
            {"0000101", "002", "2010010001", "P", "KG", 80, 75.0, 75, 0.1, 5, 0},
            {"0000105", "003", "1010010001", "P", "KG", 60, null, 60, 0.15, 4, 0.3},
            {"0000105", "003", "2010010002", "P", "KG", 60, null, 60, 0.08, 4, 0},
            {"0000105", "003", "4010010001", "0001", "UN", 60, null, 60, 1, 40, 1},
        };
        QList<QVariantList> rows;
        int number = 0;
        for (const Dish &d : dishes)
            rows.append({s("0001"), s("00001"), day, s("XXXX"),
                         QStringLiteral("%1").arg(++number, 10, 10, QLatin1Char('0')), s(d.client), s(d.point),
                         s(d.dish), s(d.owner), s(d.unit), d.estimated, d.billing, d.diners, d.perPerson,
                         d.perContainer, d.sample, d.diners * 100 / 400});
        insertRows(db, QStringLiteral("SERVTRAN"),
                   cols("CDFILIAL CDSERVFILI DTSERVTRAN CDDIETPADST NRSERVTRAN CDCLIENTE CDDESTFILI CDPRATO "
                        "CDFILAUXPRAT SGUNIDADE QTCOMECLIST QTEFETCLIST QTCOMESTIST QTPADRAOST QTCONTAIST "
                        "QTAMOSTRAST VRPECONSST"),
                   rows);
        transaction.commit();
    }

    // Figures and labels by the very rules the server applies to every saved row, calculated by
    // the demo's administrator.
    ServTranService service(db);
    const CallContext administrator{QStringLiteral("ADMIN"), QStringLiteral("demo")};
    const protocol::Reply reply = service.call(
        {ServTranService::serverName(), QStringLiteral("CalcServTrans"),
         {QStringLiteral("_0001_"), QStringLiteral("_000100001_"), protocol::wallClock(demoDay()),
          protocol::wallClock(demoDay()), QStringLiteral("ADMIN"), protocol::wallClock(QDateTime::currentDateTime())}},
        administrator);
    const QString error = reply.failed() ? reply.fault : protocol::resultErrorText(reply.value);
    if (!error.isEmpty())
        throw Error(QStringLiteral("Dados de demonstração: %1").arg(error));
}

} // namespace server
