#include "DialogAnswers.h"
#include "NestedDrives.h"
#include "TestFiles.h"

#include "base/PathText.h"
#include "model/SyncData.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"
#include "wizards/SyncWizard.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;

namespace {

const QString JobFile = QStringLiteral("E:\\Config\\sync 2026-01-31 14-05-09 042.Zjs");

std::unique_ptr<TSyncWizard> OpenWizard(bool isNew)
{
    auto wizard = std::make_unique<TSyncWizard>();
    wizard->SetNew(isNew);
    wizard->SetFileName(JobFile);
    wizard->show();
    return wizard;
}

template <class T>
T *Child(QWidget *wizard, const QString &name)
{
    return wizard->findChild<T *>(name);
}

// "Add Pair" for two folders picked in the trees; the message shown, if any.
QString AddPair(TSyncWizard &wizard, const QString &usb, const QString &computer)
{
    test::TMessageRecorder messages;
    if (!Child<TNvShellTreeViewEx>(&wizard, QStringLiteral("stvFolderA"))->SelectPath(usb))
        return QStringLiteral("cannot select ") + usb;
    if (!computer.isEmpty() &&
        !Child<TNvShellTreeViewEx>(&wizard, QStringLiteral("stvFolderB"))->SelectPath(computer))
        return QStringLiteral("cannot select ") + computer;
    Child<QPushButton>(&wizard, QStringLiteral("AddFolder"))->click();
    return messages.Requests.isEmpty()
               ? QString()
               : messages.Requests.constFirst().Message.section(QLatin1Char('\r'), 0, 0);
}

QStringList Column(const QTreeWidget *list, int column)
{
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row)
        texts << list->topLevelItem(row)->text(column);
    return texts;
}

} // namespace

class TestSyncWizard : public QObject
{
    Q_OBJECT

private slots:
    void addPairRules_data();
    void addPairRules();
    void directionEnablesConflictRule();
    void newJobSavedThenEdited();
};

void TestSyncWizard::addPairRules_data()
{
    QTest::addColumn<QString>("usb");
    QTest::addColumn<QString>("computer");
    QTest::addColumn<QString>("refusal");

    const QString missing = QStringLiteral("One or Both of the folders selected cannot be added.");
    const QString itself = QStringLiteral("Cannot Sync folder to itself.");
    const QString listed =
        QStringLiteral("One or Both of the folders selected are already in the Sync folder list.");
    // Listed before each row: E:\Docs with C:\home\ann\Work.
    QTest::newRow("apart") << "E:\\Music\\"
                           << "C:\\home\\ann\\Other\\"
                           << "";
    QTest::newRow("the computer folder is gone") << "E:\\Music\\"
                                                 << "" << missing;
    // The stick is mounted inside C:, so its folder is there twice.
    QTest::newRow("one folder under two names") << "E:\\Music\\"
                                                << "C:\\media\\ann\\STICK\\Music\\" << itself;
    QTest::newRow("the computer side inside the stick side")
        << "E:\\Music\\"
        << "C:\\media\\ann\\STICK\\Music\\Live\\" << itself;
    QTest::newRow("the same stick folder") << "E:\\Docs\\"
                                           << "C:\\home\\ann\\Other\\" << listed;
    QTest::newRow("inside a listed stick folder") << "E:\\Docs\\Old\\"
                                                  << "C:\\home\\ann\\Other\\" << listed;
    QTest::newRow("holding a listed computer folder") << "E:\\Music\\"
                                                      << "C:\\home\\ann\\" << listed;
    QTest::newRow("the stick's root holds a listed folder") << "E:\\"
                                                            << "C:\\home\\ann\\Other\\" << listed;
}

void TestSyncWizard::addPairRules()
{
    QFETCH(QString, usb);
    QFETCH(QString, computer);
    QFETCH(QString, refusal);
    test::TNestedDrives drives;
    for (const QString folder :
         {"media/ann/STICK/Docs/Old", "media/ann/STICK/Music/Live", "home/ann/Work", "home/ann/Other"})
        QVERIFY(QDir().mkpath(drives.Native(folder)));
    auto wizard = OpenWizard(true);
    QCOMPARE(AddPair(*wizard, QStringLiteral("E:\\Docs\\"), QStringLiteral("C:\\home\\ann\\Work\\")),
             QString());
    if (computer.isEmpty()) // selected, then removed before "Add Pair"
        QVERIFY(QDir(drives.Native(QStringLiteral("home/ann/Other"))).removeRecursively());
    QCOMPARE(AddPair(*wizard, usb, computer.isEmpty() ? QStringLiteral("C:\\home\\ann\\Other\\") : computer),
             refusal);
    auto *pairs = Child<QTreeWidget>(wizard.get(), QStringLiteral("ListView1"));
    QCOMPARE(pairs->topLevelItemCount(), refusal.isEmpty() ? 2 : 1);
}

void TestSyncWizard::directionEnablesConflictRule()
{
    test::TTestDrives drives;
    auto wizard = OpenWizard(true);
    auto *conflicts = Child<QGroupBox>(wizard.get(), QStringLiteral("DefaultAction"));
    const QList<bool> enabled{true, false, false};
    for (const int direction : {1, 0, 2, 0}) {
        Child<QRadioButton>(wizard.get(), QStringLiteral("SyncDirection%1").arg(direction))->click();
        QCOMPARE(conflicts->isEnabled(), enabled.at(direction));
    }
}

// A job made in the wizard is the job the engine reads; opened again, it
// shows its pairs with their measured sizes.
void TestSyncWizard::newJobSavedThenEdited()
{
    test::TTestDrives drives;
    test::TMessageRecorder messages;
    test::PutAt(QStringLiteral("E:\\Docs\\a.txt"), QByteArray(1500, 'a'));
    test::PutAt(QStringLiteral("C:\\Work\\b.txt"), "b");
    QVERIFY(ForceFolder(QStringLiteral("C:\\Music\\")));
    // The history of an earlier job saved under this name must not be taken over.
    const QString history = ChangeFileExt(JobFile, QStringLiteral(".Zjt"));
    test::PutAt(history, "stale");

    auto wizard = OpenWizard(true);
    QVERIFY(wizard->findChild<QLineEdit *>(QStringLiteral("BackupName"))
                ->text()
                .startsWith(QLatin1String("<New Sync ")));
    QCOMPARE(AddPair(*wizard, QStringLiteral("E:\\Docs\\"), QStringLiteral("C:\\Work\\")), QString());
    QCOMPARE(AddPair(*wizard, QStringLiteral("E:\\"), QStringLiteral("C:\\Music\\")),
             QStringLiteral("One or Both of the folders selected are already in the Sync folder list."));
    auto *pairs = Child<QTreeWidget>(wizard.get(), QStringLiteral("ListView1"));
    pairs->topLevelItem(0)->setSelected(true);
    Child<QPushButton>(wizard.get(), QStringLiteral("BtnDeletePair"))->click();
    QCOMPARE(pairs->topLevelItemCount(), 0);
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("FileSelect")); // no pair yet
    QCOMPARE(AddPair(*wizard, QStringLiteral("E:\\"), QStringLiteral("C:\\Music\\")), QString());
    Child<QLineEdit>(wizard.get(), QStringLiteral("BackupName"))->setText(QStringLiteral("Stick"));
    Child<QRadioButton>(wizard.get(), QStringLiteral("DefaultAction4"))->click();
    wizard->btnNextClick();
    wizard->btnNextClick();
    QCOMPARE(wizard->PageName(), QStringLiteral("TabSheet4"));
    QVERIFY(wizard->BtnSaveClick());
    QVERIFY(!FileExists(history));

    TSyncData saved;
    LoadFromFile(saved, JobFile);
    QCOMPARE(saved.SyncName(), QStringLiteral("Stick"));
    QCOMPARE(saved.FolderAList(), QStringList{QStringLiteral("\\")});
    QCOMPARE(saved.FolderBList(), QStringList{QStringLiteral("C:\\Music")});
    QCOMPARE(saved.SyncDirection(), sdBidi);
    QCOMPARE(saved.SyncDefaultAction(), sdaNewVersion);
    QCOMPARE(saved.PCID(), ComputePCID());
    wizard.reset();

    auto edited = OpenWizard(false);
    auto *rows = Child<QTreeWidget>(edited.get(), QStringLiteral("ListView1"));
    QCOMPARE(Column(rows, 3), QStringList{QStringLiteral("\\")});
    // The stick's root holds the job file and a.txt; the computer's folder nothing.
    QTRY_COMPARE(Column(rows, 2), QStringList{QStringLiteral("0")});
    QTRY_COMPARE(Column(rows, 5), QStringList{QStringLiteral("2")});
    QCOMPARE(messages.Requests.size(), 1);
}

QTEST_MAIN(TestSyncWizard)
#include "tst_syncwizard.moc"
