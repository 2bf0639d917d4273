#include "demodatabase.h"

#include <framework/dtmdbgeral.h>
#include <server/demo.h>
#include <server/schema.h>
#include <server/service.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace printtest {

DemoDatabase::DemoDatabase(const server::ServerSettings &settings)
{
    const QString connection = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("servtran.db"));
    m_db = std::make_unique<server::Database>(connection);
    server::createSchema(*m_db);
    server::loadDemoData(*m_db);
    framework::openSharedDatabase(connection);
    m_server = std::make_unique<server::ServerThread>(connection, QHostAddress::LocalHost, 0, settings);
    m_connection = std::make_unique<framework::TNetConnection>();
    m_connection->setServerName(server::ServTranService::serverName());
    m_connection->setHost(QStringLiteral("127.0.0.1"));
    m_connection->setPort(m_server->port());
    m_connection->setOperatorCode(QStringLiteral("ADMIN"));
    m_connection->setPassword(QString::fromLatin1(server::kDemoPassword));
}

DemoDatabase::~DemoDatabase()
{
    m_connection.reset();
    m_server.reset();
    framework::closeSharedDatabase();
    m_db.reset();
}

void DemoDatabase::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(m_db->handle());
    if (!q.prepare(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

QVariant DemoDatabase::scalar(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(m_db->handle());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.value(0);
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(u' ')),
               qPrintable(process.errorString() + QString::fromUtf8(process.readAllStandardError())));
    return QString::fromUtf8(process.readAllStandardOutput());
}

int pdfPageCount(const QString &pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
                                          .match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString &pdf, int page)
{
    const QString p = QString::number(page);
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), p, QStringLiteral("-l"), p, QStringLiteral("-enc"),
                                             QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
}

QString pdfDocumentText(const QString &pdf)
{
    QString text;
    for (int page = 1, pages = pdfPageCount(pdf); page <= pages; ++page)
        text += pdfText(pdf, page);
    return text.simplified();
}

QStringList decodedCodes(const QString &pdf, int page, const QList<QRectF> &labelsMm, const QString &workFolder, int dpi)
{
    const QString p = QString::number(page);
    const QString prefix = QDir(workFolder).filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), QStringLiteral("-f"), p, QStringLiteral("-l"), p, pdf, prefix});
    const QImage sheet(prefix + QStringLiteral(".png"));
    const double pixelsPerMm = dpi / 25.4;
    QStringList files = {QStringLiteral("-q"), QStringLiteral("--raw"), QStringLiteral("-Sdisable"), QStringLiteral("-Sqrcode.enable")};
    for (qsizetype i = 0; i < labelsMm.size(); ++i) {
        const QRectF &mm = labelsMm[i];
        const QRect area = QRectF(mm.topLeft() * pixelsPerMm, mm.size() * pixelsPerMm).toAlignedRect();
        files << QDir(workFolder).filePath(QStringLiteral("label-%1.png").arg(i));
        if (!sheet.copy(area).save(files.last()))
            return {QStringLiteral("(the label's area could not be written: %1)").arg(files.last())};
    }
    // zbarimg's exit code 4: some image held no code it could read, which the caller's comparison tells
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), files);
    if (!zbar.waitForFinished(120000) || zbar.exitStatus() != QProcess::NormalExit || (zbar.exitCode() != 0 && zbar.exitCode() != 4))
        qFatal("zbarimg failed: %s", qPrintable(zbar.errorString() + QString::fromUtf8(zbar.readAllStandardError())));
    QStringList codes;
    for (const QString &line : QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        codes << line.trimmed();
    codes.sort();
    return codes;
}

} // namespace printtest
