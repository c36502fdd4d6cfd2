#include "base/Exceptions.h"
#include "progress/JobLogFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace trovalo;

Q_DECLARE_METATYPE(QList<TJobLogLine>)

namespace {

const QByteArray Rule(82, '=');
const QByteArray Header = Rule + "\r\n\t\t\t\tTrovalo File Log\r\n" + Rule +
                          "\r\nTime Stamp\t\tAction\t\tStatus\tFile Name\r\n" + Rule + "\r\n";
const QByteArray Footer = Rule + "\r\nEnd Log.\r\n";

QByteArray Read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestJobLogFile : public QObject
{
    Q_OBJECT

private slots:
    void layout_data()
    {
        QTest::addColumn<QList<TJobLogLine>>("rows");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty log") << QList<TJobLogLine>{} << QByteArray();
        QTest::newRow("one row of each state")
            << QList<TJobLogLine>{{"12/9/26 2:05:09 PM", "Copy File", jlsSuccess, "C:\\Data\\a.txt"},
                                  {"12/9/26 2:05:10 PM", "Delete File", jlsFailed, "E:\\B\\b.txt"},
                                  {"12/9/26 2:05:11 PM", "Thread Error", jlsThreadError,
                                   "Thread Error : Class = TCopyFolderThread : gone"}}
            << QByteArray("12/9/26 2:05:09 PM\tCopy File\tSuccess\tC:\\Data\\a.txt\r\n"
                          "12/9/26 2:05:10 PM\tDelete File\tFailed\tE:\\B\\b.txt\r\n"
                          "12/9/26 2:05:11 PM\tThread Error\tThread Error\t"
                          "Thread Error : Class = TCopyFolderThread : gone\r\n");
        QTest::newRow("non-ASCII names in UTF-8")
            << QList<TJobLogLine>{{"t", "Copy File", jlsSuccess, QStringLiteral("C:\\Bilder\\Grüße €.txt")}}
            << QByteArray("t\tCopy File\tSuccess\tC:\\Bilder\\Gr\xc3\xbc\xc3\x9f"
                          "e \xe2\x82\xac.txt\r\n");
    }
    void layout()
    {
        QFETCH(QList<TJobLogLine>, rows);
        QFETCH(QByteArray, body);
        QCOMPARE(TJobLogFile::Render(rows), Header + body + Footer);
    }

    void saveReplacesAWholeFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Trovalo.log"));
        // Longer than the new log: nothing of it may be left at the end.
        Write(path, QByteArray(10000, 'x'));
        TJobLogFile::Save(path, {{"t", "Copy File", jlsSuccess, "a"}});
        QCOMPARE(Read(path), Header + "t\tCopy File\tSuccess\ta\r\n" + Footer);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"Trovalo.log"}));
    }

    void failedSaveRaisesAndLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("inside a file") << "old.log/new.log";
        QTest::newRow("link into a missing folder") << "link.log";
    }
    void failedSaveRaisesAndLeavesTheOldFile()
    {
        QFETCH(QString, target);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("folder")));
        Write(folder.filePath(QStringLiteral("old.log")), "old content");
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("missing/x.log")), folder.filePath("link.log")));
        const QStringList before =
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
        const QString path = folder.filePath(target);
        bool raised = false;
        try {
            TJobLogFile::Save(path, {{"t", "Copy File", jlsSuccess, "a"}});
        } catch (const EFileError &error) {
            raised = true;
            QVERIFY2(error.Message().contains(target), qPrintable(error.Message()));
        }
        QVERIFY(raised);
        QCOMPARE(Read(folder.filePath(QStringLiteral("old.log"))), QByteArray("old content"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), before);
    }
};

QTEST_GUILESS_MAIN(TestJobLogFile)
#include "tst_joblogfile.moc"
