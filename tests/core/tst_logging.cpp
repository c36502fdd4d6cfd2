#include "base/Logging.h"

#include <QtTest>

using namespace trovalo;

class TestLogging : public QObject
{
    Q_OBJECT
    QtMessageHandler FPrevious = nullptr;

private slots:
    void initTestCase() { FPrevious = InstallLogHandler(); }
    void cleanupTestCase() { qInstallMessageHandler(FPrevious); }

    void cappedFileKeepsOneOldFile_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("lines"); // per thread, some 120 bytes each
        QTest::addColumn<bool>("rotated");
        QTest::newRow("fits") << 1 << 5 << false;
        QTest::newRow("rotated once") << 1 << 12 << true;
        QTest::newRow("rotated many times") << 1 << 100 << true;
        QTest::newRow("four threads at once") << 4 << 300 << true;
    }
    void cappedFileKeepsOneOldFile()
    {
        QFETCH(int, threads);
        QFETCH(int, lines);
        QFETCH(bool, rotated);
        const qint64 cap = 1000;
        QTemporaryDir dir;
        QVERIFY(OpenLogFile(dir.filePath(QStringLiteral("Trovalo.log")), cap));
        QList<QThread *> workers;
        for (int t = 0; t < threads; ++t) {
            workers << QThread::create([t, lines] {
                for (int i = 0; i < lines; ++i)
                    qCInfo(LogEngine, "line %d-%d %s", t, i, QByteArray(60, 'x').constData());
                qCDebug(LogEngine, "debug is not written");
            });
            workers.constLast()->start();
        }
        for (QThread *worker : workers)
            worker->wait();
        qDeleteAll(workers);
        CloseLogFile();

        const QStringList expected =
            rotated ? QStringList{"Trovalo.log", "Trovalo.log.1"} : QStringList{"Trovalo.log"};
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), expected);
        // The kept lines of each thread run on without a gap, from the old
        // file into the current one, up to its last line.
        static const QRegularExpression whole(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} info +trovalo\\.engine: line "
                           "(\\d)-(\\d+) x{60}$"));
        QList<QList<int>> kept(threads);
        for (const char *name : {"Trovalo.log.1", "Trovalo.log"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QVERIFY(file.size() <= cap);
            for (const QByteArray &line : file.readAll().chopped(1).split('\n')) {
                const QRegularExpressionMatch match = whole.match(QString::fromUtf8(line));
                QVERIFY2(match.hasMatch(), line.constData());
                kept[match.captured(1).toInt()] << match.captured(2).toInt();
            }
        }
        qsizetype total = 0;
        for (const QList<int> &numbers : kept) {
            total += numbers.size();
            for (qsizetype i = 0; i < numbers.size(); ++i)
                QCOMPARE(numbers.at(i), lines - numbers.size() + i);
        }
        QVERIFY(total > 0);
    }
};

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
