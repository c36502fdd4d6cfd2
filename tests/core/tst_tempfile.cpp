#include "LockingProcess.h"
#include "TestDrives.h"
#include "TestFiles.h"

#include "platform/DriveTable.h"
#include "platform/TempFile.h"

#include <QtTest>

#include <unistd.h>

using namespace trovalo;
using namespace trovalo::test;

namespace {
const QString Leftover = QStringLiteral(".~trovalo-0123abcd.part");

} // namespace

class TestTempFile : public QObject
{
    Q_OBJECT

    std::unique_ptr<TTestDrives> FDrives;

private slots:
    void init() { FDrives = std::make_unique<TTestDrives>(); }
    void cleanup() { FDrives.reset(); }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ours");
        QTest::newRow("ours") << Leftover << true;
        QTest::newRow("a user's look-alike") << ".~report.part" << false;
        QTest::newRow("upper-case digits") << ".~trovalo-0123ABCD.part" << false;
        QTest::newRow("seven digits") << ".~trovalo-0123abc.part" << false;
        QTest::newRow("not hexadecimal") << ".~trovalo-0123abcz.part" << false;
        QTest::newRow("more after it") << ".~trovalo-0123abcd.part.txt" << false;
        QTest::newRow("before it") << "x.~trovalo-0123abcd.part" << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        QCOMPARE(IsTempFileName(name), ours);
    }

    // Only a file of ours that no writer holds goes: not a look-alike, not
    // a folder or a link of that name, not one held in this process or
    // another.
    void removeLeftover_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("left by a killed run") << "file" << true;
        QTest::newRow("a user's look-alike") << "look-alike" << false;
        QTest::newRow("a folder") << "folder" << false;
        QTest::newRow("a link") << "link" << false;
        QTest::newRow("written in this process") << "this process" << false;
        QTest::newRow("written by another process") << "other process" << false;
    }
    void removeLeftover()
    {
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        const QString folder = FDrives->Native('E', "Backup");
        QVERIFY(QDir().mkpath(folder));
        QString name = Leftover;
        QByteArray tempName;
        TTempFileLock lock;
        std::unique_ptr<TLockingProcess> other;
        if (kind == "look-alike") {
            name = ".~report.part";
            WriteFile(folder + "/" + name, "a user's");
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(folder + "/" + name));
        } else if (kind == "link") {
            WriteFile(folder + "/target.txt", "data");
            QVERIFY(QFile::link(folder + "/target.txt", folder + "/" + name));
        } else if (kind == "this process") {
            const int fd = CreateTempBeside(folder + "/C.Zip", &tempName, lock);
            QVERIFY(fd >= 0);
            ::close(fd); // the lock outlives the writer's descriptor
            name = QFileInfo(QFile::decodeName(tempName)).fileName();
        } else {
            WriteFile(folder + "/" + name, "half an archive");
            if (kind == "other process") {
                other = std::make_unique<TLockingProcess>(folder + "/" + name);
                QVERIFY(other->Holding());
            }
        }
        const QString letterPath = "E:\\Backup\\" + name;
        const std::optional<qint64> size = RemoveLeftover(letterPath);
        QCOMPARE(size.has_value(), removed);
        QCOMPARE(QFileInfo::exists(folder + "/" + name) || QFileInfo(folder + "/" + name).isSymLink(),
                 !removed);
        if (removed)
            QCOMPARE(*size, qint64(15));
        if (kind == "this process") { // once renamed or dropped, nothing holds it
            lock.Release();
            QVERIFY(RemoveLeftover(letterPath));
        }
        QCOMPARE(ReadOrMissing(folder + "/target.txt"), kind == "link" ? "data" : "<missing>");
    }
};

QTEST_GUILESS_MAIN(TestTempFile)
#include "tst_tempfile.moc"
