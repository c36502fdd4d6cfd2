#include "base/Exceptions.h"
#include "model/PCSyncData.h"
#include "model/SyncData.h"

#include <QRegularExpression>
#include <QtTest>

using namespace trovalo;

namespace {
const QByteArray Guid = "{0123ABCD-4567-89EF-0123-456789ABCDEF}";
const QByteArray ItemGuid1 = "{AAAAAAAA-0000-0000-0000-000000000001}";
const QByteArray ItemGuid2 = "{AAAAAAAA-0000-0000-0000-000000000002}";
// 2014-07-10 12:00 and 2014-07-11 06:00, exact in binary.
constexpr TDateTime Created = 41830.5;
constexpr TDateTime Updated = 41831.25;
const QByteArray CreatedBytes = QByteArray::fromHex("05 00000000 0080 66A3 0E40");
const QByteArray UpdatedBytes = QByteArray::fromHex("05 00000000 0040 67A3 0E40");

QByteArray H(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Head(const char *lengthHex, const char *className)
{
    return "TPF0" + H(lengthHex) + className + H("00") + H("08") + "FileGUID" + H("0626") + Guid;
}

const QByteArray VersionRecord = H("07") + "Version" + H("060D") + "Version : 1.0";

void FillTwoItems(TPCSyncData &job)
{
    job.SetFileGUID(QString::fromLatin1(Guid));
    TSyncDataItem *second = job.SyncDataItems()->Add();
    TSyncDataItem *first = job.SyncDataItems()->Insert(0);
    first->SetID(QStringLiteral("PC1"));
    first->SetPCID(QStringLiteral("1A2B - 3C4D"));
    first->SetFolderAList({QStringLiteral("<Root>")});
    first->SetFolderBList({QStringLiteral("C:\\Data\\")});
    first->SetSyncDirection(sdToComputerOnly);
    first->SetFileGUID(QString::fromLatin1(ItemGuid1));
    second->SetID(QStringLiteral("PC2"));
    second->SetSyncName(QStringLiteral("Laptop"));
    second->SetLastUpdate(Updated);
    second->SetPCID(QStringLiteral("5E6F - 7A8B"));
    second->SetSyncDefaultAction(sdaNothing);
    second->SetFileGUID(QString::fromLatin1(ItemGuid2));
}

QStringList ItemIds(const TPCSyncData &job)
{
    QStringList ids;
    for (int i = 0; i < job.SyncDataItems()->Count(); ++i)
        ids << (*job.SyncDataItems())[i]->ID();
    return ids;
}
} // namespace

class TestSyncData : public QObject
{
    Q_OBJECT

private slots:
    void syncRecordByteForByte_data();
    void syncRecordByteForByte();
    void pcSyncRecordByteForByte_data();
    void pcSyncRecordByteForByte();
    void emptyItemListLeavesExistingItems();
    void itemsGetTheirOwnGuidsAndPositions();
    void filterSetterCopies();
};

void TestSyncData::syncRecordByteForByte_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray head = Head("09", "TSyncData");
    QTest::newRow("fresh") << false
                           << head + VersionRecord + H("08") + "SyncMode" + H("0708") + "smFolder" + H("0D") +
                                  "SyncDirection" + H("0706") + "sdBidi" + H("11") + "SyncDefaultAction" +
                                  H("0706") + "sdaAsk" + H("0000");
    QTest::newRow("filled") << true
                            << head + H("08") + "SyncName" + H("0604") + "Docs" + H("0A") + "CreateDate" +
                                   CreatedBytes + //
                                   H("13") + "FolderAList.Strings" + H("01 0606") + "<Root>" + H("0605") +
                                   "Music" + H("00") + H("13") + "FolderBList.Strings" + H("01 0607") +
                                   "C:\\Data" + H("0609") + "C:\\Music\\" + H("00") + H("11") +
                                   "FileAList.Strings" + H("01 0605") + "a.txt" + H("00") +               //
                                   H("11") + "FileBList.Strings" + H("01 0608") + "C:\\a.txt" + H("00") + //
                                   VersionRecord + H("04") + "PCID" + H("060B") + "1A2B - 3C4D" +         //
                                   H("13") + "FileFilter.ReadOnly" + H("09") +                            //
                                   H("08") + "SyncMode" + H("0706") + "smFile" +                          //
                                   H("0D") + "SyncDirection" + H("0709") + "sdUSBToPC" +                  //
                                   H("11") + "SyncDefaultAction" + H("070D") + "sdaNewVersion" + H("0000");
}

void TestSyncData::syncRecordByteForByte()
{
    QFETCH(bool, filled);
    QFETCH(QByteArray, expected);
    TSyncData job;
    QCOMPARE(job.CreateDate(), 0.0);
    job.SetFileGUID(QString::fromLatin1(Guid));
    if (filled) {
        job.SetSyncName(QStringLiteral("Docs"));
        job.SetCreateDate(Created);
        job.SetFolderAList({QStringLiteral("<Root>"), QStringLiteral("Music")});
        job.SetFolderBList({QStringLiteral("C:\\Data"), QStringLiteral("C:\\Music\\")});
        job.SetFileAList({QStringLiteral("a.txt")});
        job.SetFileBList({QStringLiteral("C:\\a.txt")});
        job.SetPCID(QStringLiteral("1A2B - 3C4D"));
        job.FileFilter()->SetReadOnly(true);
        job.SetSyncMode(smFile);
        job.SetSyncDirection(sdToUsbDriveOnly);
        job.SetSyncDefaultAction(sdaNewVersion);
    }
    QCOMPARE(job.ToObjectStream(), expected);

    TSyncData loaded;
    loaded.LoadFromBytes(job.SaveToBytes());
    QCOMPARE(loaded.ToObjectStream(), expected);
}

void TestSyncData::pcSyncRecordByteForByte_data()
{
    QTest::addColumn<bool>("withItems");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray head = Head("0B", "TPCSyncData") + VersionRecord + H("0D") + "SyncDataItems" + H("0E");
    QTest::newRow("empty collection") << false << head + H("00") + H("0000");
    const QByteArray first = H("01") + H("02") + "ID" + H("0603") + "PC1" +                            //
                             H("13") + "FolderAList.Strings" + H("01 0606") + "<Root>" + H("00") +     //
                             H("13") + "FolderBList.Strings" + H("01 0608") + "C:\\Data\\" + H("00") + //
                             VersionRecord + H("04") + "PCID" + H("060B") + "1A2B - 3C4D" +            //
                             H("0D") + "SyncDirection" + H("0709") + "sdPCToUSB" +                     //
                             H("11") + "SyncDefaultAction" + H("0706") + "sdaAsk" +                    //
                             H("08") + "FileGUID" + H("0626") + ItemGuid1 + H("00");
    const QByteArray second = H("01") + H("02") + "ID" + H("0603") + "PC2" +                 //
                              H("08") + "SyncName" + H("0606") + "Laptop" +                  //
                              H("0A") + "LastUpdate" + UpdatedBytes +                        //
                              VersionRecord + H("04") + "PCID" + H("060B") + "5E6F - 7A8B" + //
                              H("0D") + "SyncDirection" + H("0706") + "sdBidi" +             //
                              H("11") + "SyncDefaultAction" + H("070A") + "sdaNothing" +     //
                              H("08") + "FileGUID" + H("0626") + ItemGuid2 + H("00");
    QTest::newRow("two items") << true << head + first + second + H("00") + H("0000");
}

void TestSyncData::pcSyncRecordByteForByte()
{
    QFETCH(bool, withItems);
    QFETCH(QByteArray, expected);
    TPCSyncData job;
    job.SetFileGUID(QString::fromLatin1(Guid));
    if (withItems)
        FillTwoItems(job);
    QCOMPARE(job.ToObjectStream(), expected);
    if (!withItems)
        return;

    // Items read from a file replace those the record had.
    TPCSyncData loaded;
    loaded.SyncDataItems()->Add()->SetID(QStringLiteral("stale"));
    loaded.LoadFromBytes(job.SaveToBytes());
    QCOMPARE(loaded.ToObjectStream(), expected);
}

void TestSyncData::emptyItemListLeavesExistingItems()
{
    TPCSyncData job;
    FillTwoItems(job);
    TPCSyncData withoutItems;
    withoutItems.SetSyncName(QStringLiteral("Shared stick"));
    job.LoadFromBytes(withoutItems.SaveToBytes());
    QCOMPARE(job.SyncName(), QStringLiteral("Shared stick"));
    QCOMPARE(ItemIds(job), (QStringList{QStringLiteral("PC1"), QStringLiteral("PC2")}));
}

void TestSyncData::itemsGetTheirOwnGuidsAndPositions()
{
    TPCSyncData job;
    TSyncDataItems &items = *job.SyncDataItems();
    items.Add()->SetID(QStringLiteral("b"));
    items.Add()->SetID(QStringLiteral("d"));
    items.Insert(0)->SetID(QStringLiteral("a"));
    items.Insert(2)->SetID(QStringLiteral("c"));
    QCOMPARE(ItemIds(job), (QStringList{"a", "b", "c", "d"}));
    QVERIFY_THROWS_EXCEPTION(ECollectonException, items.Insert(5));

    const QRegularExpression registryForm(
        QStringLiteral("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"));
    QSet<QString> guids{job.FileGUID()};
    for (int i = 0; i < items.Count(); ++i) {
        QVERIFY(registryForm.match(items[i]->FileGUID()).hasMatch());
        QCOMPARE(items[i]->Version(), QStringLiteral("Version : 1.0"));
        guids.insert(items[i]->FileGUID());
    }
    QCOMPARE(guids.size(), 5);
}

void TestSyncData::filterSetterCopies()
{
    TFileFilter filter;
    filter.SetHidden(true);
    filter.SetExcludeFileExtList({QStringLiteral(".tmp")});
    TSyncData job;
    TPCSyncData pcJob;
    TSyncDataItem *item = pcJob.SyncDataItems()->Add();
    job.SetFileFilter(filter);
    item->SetFileFilter(filter);
    filter.SetHidden(false);
    filter.SetExcludeFileExtList({});
    for (const TFileFilter *copy : {job.FileFilter(), item->FileFilter()}) {
        QVERIFY(copy != &filter);
        QCOMPARE(copy->Hidden(), true);
        QCOMPARE(copy->ExcludeFileExtList(), QStringList{QStringLiteral(".tmp")});
    }
}

QTEST_GUILESS_MAIN(TestSyncData)
#include "tst_syncdata.moc"
