// The server's fuzz entries fed with the calls' seed corpus (hellos and requests), in every test
// run: the server's hello and its method dispatch take each without a crash or a finding.

#include "serverfuzzentries.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestServerFuzzCorpus : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(SERVTRAN_CORPUS_DIR "/calls"));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
        QVERIFY2(dir.entryList(QDir::Files).size() >= 5, "the seed corpus is missing");
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        serverfuzz::hello(bytes);
        serverfuzz::dispatch(bytes);
    }
};

QTEST_GUILESS_MAIN(TestServerFuzzCorpus)
#include "tst_serverfuzzcorpus.moc"
