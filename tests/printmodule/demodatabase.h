#pragma once
// What the print tests stand on: a temporary SQLite file with the schema and the demo data,
// opened as the host's shared connection, and the command-line tools that read PDF files and codes.

#include <framework/netconnection.h>
#include <server/database.h>
#include <server/serverthread.h>

#include <QRectF>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace printtest {

class DemoDatabase {
public:
    // The server signs the labels' links when the settings name a web front.
    explicit DemoDatabase(const server::ServerSettings &settings = {});
    ~DemoDatabase();

    const QTemporaryDir &dir() const { return m_dir; }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // The application server on it (loopback) and a connection of the demo's ADMIN to it.
    framework::TNetConnection &server() { return *m_connection; }
    // Runs SQL on the test's own connection and returns the first column of the first row.
    QVariant scalar(const QString &sql, const QVariantList &values = {});
    void exec(const QString &sql, const QVariantList &values = {});

private:
    QTemporaryDir m_dir;
    std::unique_ptr<server::Database> m_db;
    std::unique_ptr<server::ServerThread> m_server;
    std::unique_ptr<framework::TNetConnection> m_connection;
};

// The standard output of a tool; a failing or missing tool fails the test (qFatal).
QString run(const QString &program, const QStringList &arguments);
int pdfPageCount(const QString &pdf);
QString pdfText(const QString &pdf, int page);
// The text of every page, its white space simplified.
QString pdfDocumentText(const QString &pdf);
// The texts of the codes zbarimg finds on a page rendered at the printer's resolution, each label's
// area (in mm) read on its own as a reader aims at one label: zbarimg scanning a whole sheet of 24
// codes at once now and then misses one that it reads alone.
QStringList decodedCodes(const QString &pdf, int page, const QList<QRectF> &labelsMm, const QString &workFolder, int dpi);

} // namespace printtest
