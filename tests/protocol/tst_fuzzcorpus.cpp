// The fuzzers' seed corpus, replayed through the same entry functions in every test run: the
// inputs that once mattered keep being decoded without a crash, a hang or a finding.

#include "fuzzentries.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFuzzCorpus : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        int files = 0;
        for (const char *target : {"frames", "calls", "packets"}) {
            const QDir dir(QStringLiteral(SERVTRAN_CORPUS_DIR "/") + QLatin1String(target));
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                QTest::newRow(qPrintable(QLatin1String(target) + QLatin1Char('/') + name))
                    << QString::fromLatin1(target) << dir.filePath(name);
                ++files;
            }
        }
        QVERIFY2(files >= 15, "the seed corpus is missing");
    }

    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (target == QLatin1String("frames"))
            protocolfuzz::frames(bytes);
        else if (target == QLatin1String("calls"))
            protocolfuzz::calls(bytes);
        else
            protocolfuzz::packets(bytes);
    }
};

QTEST_APPLESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
