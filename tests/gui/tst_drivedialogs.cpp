#include "TestDrives.h"

#include "DialogAnswers.h"
#include "MessageBoxes.h"
#include "control/DriveConfig.h"
#include "drives/DrivePie.h"
#include "drives/DriveSpace.h"
#include "drives/OpenFlash.h"
#include "drives/USBSelect.h"
#include "engine/FolderSizeCollection.h"
#include "model/DiskConfigFile.h"
#include "platform/DriveInterfaceType.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {
constexpr qint64 GiB = 1LL << 30;
const QString OtherPC = QStringLiteral("9999 - 0000");

// C: a fixed disk, E: a USB stick, F: an IDE disk, G: a drive without a bus.
QMap<QChar, QString> MixedDrives()
{
    return {{'C', QStringLiteral("bus=ATA,serial=1A2B3C4D")},
            {'E', QStringLiteral("bus=USB,label=STICK")},
            {'F', QStringLiteral("bus=IDE,label=DATA")},
            {'G', QString()}};
}

// Another stick is mounted: the drive table sees it, the interface table
// not yet.
void PlugIn(const test::TTestDrives &drives, QChar letter, const QString &settings)
{
    const QString root = drives.Base() + QLatin1Char('/') + letter.toLower();
    QDir().mkpath(root);
    qputenv("TROVALO_DRIVES", (drives.DrivesVariable() + QLatin1Char(';') + letter + QLatin1Char('=') + root +
                               QLatin1Char(',') + settings)
                                  .toUtf8());
    TDriveTable::Instance().Refresh();
}

using test::TMessageRecorder;

// Free and total space per drive letter; letters not given are unreadable.
class TDiskSpaceFake
{
public:
    explicit TDiskSpaceFake(QMap<QChar, TDiskSpace> spaces)
    {
        SetDiskSpaceHookForTests([spaces](const QString &path) -> std::optional<TDiskSpace> {
            const auto it = spaces.constFind(path.at(0).toUpper());
            return it == spaces.cend() ? std::nullopt : std::optional<TDiskSpace>(*it);
        });
    }
    ~TDiskSpaceFake() { SetDiskSpaceHookForTests({}); }
};

std::unique_ptr<TDriveSelectDialog> MakeDialog(const QString &kind)
{
    if (kind == QLatin1String("TUSBSelect"))
        return std::make_unique<TUSBSelect>();
    return std::make_unique<TOpenFlash>();
}

template <class T>
T *Child(QObject &parent, const char *name)
{
    T *child = parent.findChild<T *>(QLatin1String(name));
    if (!child)
        qWarning("no child %s", name);
    return child;
}

void WriteDriveConfig(const QString &root, const QStringList &pcList, bool autoLoad)
{
    EnsureConfigFolder(root);
    TDiskConfigFile config;
    config.SetPCList(pcList);
    config.SetAutoLoad(autoLoad);
    SaveToFile(config, DriveConfigFileName(root));
}

QStringList StoredPCList(const QString &root)
{
    TDiskConfigFile config;
    LoadFromFile(config, DriveConfigFileName(root));
    return config.PCList();
}

void MakeFile(const QString &nativePath, qint64 size)
{
    QDir().mkpath(QFileInfo(nativePath).path());
    QFile file(nativePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
}

QString ColourName(const QColor &color)
{
    if (color == QColor(17, 136, 255))
        return QStringLiteral("blue");
    if (color == QColor(255, 128, 0))
        return QStringLiteral("orange");
    if (color == QColor(255, 0, 128))
        return QStringLiteral("rose");
    if (color == QColor(0, 128, 64))
        return QStringLiteral("green");
    return color.name();
}
} // namespace

class TestDriveDialogs : public QObject
{
    Q_OBJECT

private slots:
    void listsDrivesOfTheAskedTypes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("types");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("USB only") << "TOpenFlash"
                                  << "USB" << QStringList{"E:\\"};
        QTest::newRow("types taken in upper case") << "TOpenFlash"
                                                   << "usb" << QStringList{"E:\\"};
        QTest::newRow("no filter lists every drive") << "TOpenFlash"
                                                     << "" << QStringList{"C:\\", "E:\\", "F:\\", "G:\\"};
        QTest::newRow("two types, never the drive without a bus") << "TUSBSelect"
                                                                  << "USB,IDE" << QStringList{"E:\\", "F:\\"};
        QTest::newRow("source chooser, USB only") << "TUSBSelect"
                                                  << "USB" << QStringList{"E:\\"};
    }
    void listsDrivesOfTheAskedTypes()
    {
        QFETCH(QString, kind);
        QFETCH(QString, types);
        QFETCH(QStringList, listed);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        auto dialog = MakeDialog(kind);
        dialog->SetDriveTypes(types);
        QCOMPARE(dialog->DriveTypes(), types.toUpper());
        QCOMPARE(dialog->ListedRoots(), listed);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Trovalo"));
    }

    // A stick plugged in while the dialog is open shows up only after
    // "Refresh Drive List"; the selection survives the refresh.
    void newStickListedAfterRefresh_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("Open Drive") << "TOpenFlash";
        QTest::newRow("source chooser") << "TUSBSelect";
    }
    void newStickListedAfterRefresh()
    {
        QFETCH(QString, kind);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        auto dialog = MakeDialog(kind);
        dialog->SetDriveTypes(QStringLiteral("USB"));
        QVERIFY(dialog->SelectDrive(QStringLiteral("E:\\")));

        PlugIn(drives, 'H', QStringLiteral("bus=USB,label=NEW"));
        dialog->RefreshList();
        QCOMPARE(dialog->ListedRoots(), QStringList{"E:\\"});

        auto *refresh = Child<QPushButton>(*dialog, "btnRefresh");
        QVERIFY(refresh);
        QCOMPARE(refresh->text(), QStringLiteral("Refresh Drive List"));
        refresh->click();
        QCOMPARE(dialog->ListedRoots(), (QStringList{"E:\\", "H:\\"}));
        QCOMPARE(dialog->SelectedRoot(), QStringLiteral("E:\\"));
    }

    void nextMessages_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("select");    // "" selects nothing
        QTest::addColumn<bool>("removeFolder"); // the drive's folder vanished
        QTest::addColumn<QString>("message");   // "" expects none
        QTest::addColumn<QString>("result");    // DefaultStr afterwards
        QTest::newRow("no selection") << "TOpenFlash"
                                      << "" << false << "No drive is selected. Please select a drive."
                                      << "";
        QTest::newRow("drive gone") << "TOpenFlash"
                                    << "E:\\" << true
                                    << "Selected drive cannot be opened. Please select a deferent drive."
                                    << "";
        QTest::newRow("drive opened") << "TOpenFlash"
                                      << "E:\\" << false << ""
                                      << "E:\\";
        QTest::newRow("source: no selection") << "TUSBSelect"
                                              << "" << false << "No drive is selected. Please select a drive."
                                              << "";
        QTest::newRow("source: drive gone")
            << "TUSBSelect"
            << "E:\\" << true << "Selected drive cannot be opened. Please select a deferent drive."
            << "";
        QTest::newRow("source: drive chosen") << "TUSBSelect"
                                              << "E:\\" << false << ""
                                              << "E:\\";
    }
    void nextMessages()
    {
        QFETCH(QString, kind);
        QFETCH(QString, select);
        QFETCH(bool, removeFolder);
        QFETCH(QString, message);
        QFETCH(QString, result);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        TMessageRecorder messages;
        auto dialog = MakeDialog(kind);
        dialog->SetDriveTypes(QStringLiteral("USB"));
        if (!select.isEmpty())
            QVERIFY(dialog->SelectDrive(select));
        if (removeFolder)
            QVERIFY(QDir(drives.NativeRoot('E')).removeRecursively());

        auto *next = Child<QPushButton>(*dialog, "OKBtn");
        QVERIFY(next);
        QCOMPARE(next->text(), QStringLiteral("Next"));
        next->click();

        if (message.isEmpty()) {
            QVERIFY(messages.Requests.isEmpty());
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
        } else {
            QCOMPARE(messages.Requests.size(), 1);
            QCOMPARE(messages.Requests.first().Message, message);
            QCOMPARE(messages.Requests.first().Title, QStringLiteral("Errors In Input."));
            QCOMPARE(messages.Requests.first().Kind, mtError);
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        }
        QCOMPARE(dialog->DefaultStr(), result);
        // Only "Open Drive" sets a drive up, and only one that it opened.
        const bool setUp = kind == QLatin1String("TOpenFlash") && !result.isEmpty();
        QCOMPARE(CheckDrive(QStringLiteral("E:\\"), ComputePCID()).Known, setUp);
    }

    // "Next" sets an unknown drive up with the box's choice; a drive that
    // knows this computer keeps its own choice and is not written.
    void setUpKeepsStoredChoice_data()
    {
        QTest::addColumn<QStringList>("stored"); // PC list on the drive; empty: no configuration
        QTest::addColumn<bool>("storedAutoLoad");
        QTest::addColumn<bool>("box");
        QTest::addColumn<bool>("expectedAutoLoad");
        QTest::addColumn<int>("expectedEntries");
        const QString self = QStringLiteral("<self>");
        QTest::newRow("new drive, box ticked") << QStringList{} << false << true << true << 1;
        QTest::newRow("new drive, box clear") << QStringList{} << false << false << false << 1;
        QTest::newRow("known, auto-load kept on") << QStringList{self} << true << false << true << 1;
        QTest::newRow("known, auto-load kept off") << QStringList{self} << false << true << false << 1;
        QTest::newRow("known in other letter case")
            << QStringList{"<lower self>"} << true << false << true << 1;
        QTest::newRow("other computer's choice replaced")
            << QStringList{OtherPC} << true << false << false << 2;
    }
    void setUpKeepsStoredChoice()
    {
        QFETCH(QStringList, stored);
        QFETCH(bool, storedAutoLoad);
        QFETCH(bool, box);
        QFETCH(bool, expectedAutoLoad);
        QFETCH(int, expectedEntries);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        const QString pcId = ComputePCID();
        QCOMPARE(pcId, QStringLiteral("1A2B - 3C4D"));
        const QString root = QStringLiteral("E:\\");
        if (!stored.isEmpty()) {
            stored.replaceInStrings(QStringLiteral("<self>"), pcId);
            stored.replaceInStrings(QStringLiteral("<lower self>"), pcId.toLower());
            WriteDriveConfig(root, stored, storedAutoLoad);
        }
        TMessageRecorder messages;
        TOpenFlash dialog;
        dialog.SetDriveTypes(QStringLiteral("USB"));
        QVERIFY(dialog.SelectDrive(root));
        auto *autoLoad = Child<QCheckBox>(dialog, "ChkAutoLoad");
        QVERIFY(autoLoad);
        QCOMPARE(autoLoad->text(), QStringLiteral("Automatically load the USB drive next time"));
        autoLoad->setChecked(box);
        dialog.Next();

        QVERIFY(messages.Requests.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const TDriveCheck check = CheckDrive(root, pcId);
        QVERIFY(check.Known);
        QCOMPARE(check.AutoLoad, expectedAutoLoad);
        QCOMPARE(StoredPCList(root).size(), expectedEntries);
    }

    // A drive whose configuration cannot be written: the message is shown
    // and the dialog stays open.
    void failedSetUpKeepsDialogOpen()
    {
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        // A folder where the configuration file belongs cannot be replaced.
        QVERIFY(QDir().mkpath(drives.Native('E', QStringLiteral("Config/Drive Config.cfg"))));
        TMessageRecorder messages;
        TOpenFlash dialog;
        dialog.SetDriveTypes(QStringLiteral("USB"));
        QVERIFY(dialog.SelectDrive(QStringLiteral("E:\\")));
        dialog.Next();
        QCOMPARE(messages.Requests.size(), 1);
        QCOMPARE(messages.Requests.first().Kind, mtError);
        QVERIFY(!messages.Requests.first().Message.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.DefaultStr(), QString());
    }

    void selectionShowsSpace_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("used");
        QTest::addColumn<QString>("total");
        QTest::addColumn<bool>("pie");
        QTest::newRow("nothing selected") << ""
                                          << "N/A"
                                          << "0.00 Gb / 0.00 Gb"
                                          << "0.00 Gb" << false;
        QTest::newRow("stick") << "E:\\"
                               << "STICK (E:)"
                               << "60 Gb / 40 Gb"
                               << "100 Gb" << true;
        QTest::newRow("space unreadable") << "F:\\"
                                          << "DATA (F:)"
                                          << "N/A / N/A"
                                          << "N/A" << false;
    }
    void selectionShowsSpace()
    {
        QFETCH(QString, select);
        QFETCH(QString, name);
        QFETCH(QString, used);
        QFETCH(QString, total);
        QFETCH(bool, pie);
        test::TTestDrives drives(MixedDrives());
        TDriveInterfaceType::Instance().Refresh();
        TDiskSpaceFake space({{'E', TDiskSpace{40 * GiB, 100 * GiB}}});
        TUSBSelect dialog;
        dialog.SetDriveTypes(QString());
        // Select another drive first, so the labels must follow a change.
        QVERIFY(dialog.SelectDrive(QStringLiteral("C:\\")));
        if (select.isEmpty())
            Child<QTreeWidget>(dialog, "ShellListView1")->clearSelection();
        else
            QVERIFY(dialog.SelectDrive(select));
        QCOMPARE(Child<QLabel>(dialog, "DriveName")->text(), name);
        QCOMPARE(Child<QLabel>(dialog, "UsedSpace")->text(), used);
        QCOMPARE(Child<QLabel>(dialog, "TotalSpace")->text(), total);
        auto *chart = Child<TDrivePie>(dialog, "NvPieChart1");
        QCOMPARE(chart->HasData(), pie);
        if (pie) {
            QCOMPARE(chart->Used(), 60 * GiB);
            QCOMPARE(chart->Free(), 40 * GiB);
        }
    }

    void driveSpaceRows_data()
    {
        QTest::addColumn<QString>("rootA");
        QTest::addColumn<qint64>("sizeA");
        QTest::addColumn<QString>("rootB");
        QTest::addColumn<qint64>("sizeB");
        QTest::addColumn<QStringList>("rows"); // drive|size|free|required|after|colour
        // E: 100 GiB with 20 GiB free, F: 100 GiB with 50 GiB free, G: unreadable.
        const QString fRow = QStringLiteral("F:\\|100 Gb|50 Gb|1 bytes|50 Gb|blue");
        QTest::newRow("5 GiB left is low") << "E:\\" << qint64(1) << "F:\\" << 15 * GiB
                                           << QStringList{"E:\\|100 Gb|20 Gb|15 Gb|5 Gb|orange", fRow};
        QTest::newRow("15 GiB left is plenty") << "E:\\" << qint64(1) << "F:\\" << 5 * GiB
                                               << QStringList{"E:\\|100 Gb|20 Gb|5 Gb|15 Gb|blue", fRow};
        QTest::newRow("exactly a tenth left is low")
            << "E:\\" << qint64(1) << "F:\\" << 10 * GiB
            << QStringList{"E:\\|100 Gb|20 Gb|10 Gb|10 Gb|orange", fRow};
        QTest::newRow("1 GiB short") << "E:\\" << qint64(1) << "F:\\" << 21 * GiB
                                     << QStringList{"E:\\|100 Gb|20 Gb|21 Gb|-1 Gb|rose", fRow};
        QTest::newRow("pair on one drive adds both sides")
            << "E:\\" << 3 * GiB << "E:\\sub\\" << 4 * GiB
            << QStringList{"E:\\|100 Gb|20 Gb|7 Gb|13 Gb|blue"};
        QTest::newRow("drive without sizes")
            << "G:\\" << qint64(1) << "F:\\" << 2 * GiB << QStringList{fRow, "G:\\|N/A|N/A|2 Gb|N/A|green"};
    }
    void driveSpaceRows()
    {
        QFETCH(QString, rootA);
        QFETCH(qint64, sizeA);
        QFETCH(QString, rootB);
        QFETCH(qint64, sizeB);
        QFETCH(QStringList, rows);
        test::TTestDrives drives(MixedDrives());
        TDiskSpaceFake space(
            {{'E', TDiskSpace{20 * GiB, 100 * GiB}}, {'F', TDiskSpace{50 * GiB, 100 * GiB}}});
        foldersize::TFileCollection a, b;
        for (auto [collection, root, size] : {std::tuple{&a, rootA, sizeA}, std::tuple{&b, rootB, sizeB}}) {
            const QString relative = QString(root).mid(3).replace(QLatin1Char('\\'), QLatin1Char('/'));
            MakeFile(drives.Native(root.at(0), relative + QStringLiteral("pair.bin")), size);
            collection->SetReadFileData(true);
            collection->SetRoot(root);
            collection->Add(QStringLiteral("pair.bin"));
            QCOMPARE(collection->Items(0)->FileSize(), size);
        }
        TDriveSpace panel;
        panel.SetFileCollectionA(&a);
        panel.SetFileCollectionB(&b);
        panel.Refresh();
        panel.Refresh(); // a second refresh starts from nothing

        auto *list = Child<QTreeWidget>(panel, "DriveList");
        QStringList shown;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *row = list->topLevelItem(i);
            QStringList cells;
            for (int column = 0; column < 5; ++column)
                cells << row->text(column);
            cells << ColourName(row->foreground(4).color());
            QCOMPARE(row->foreground(0).color(), row->foreground(4).color());
            QCOMPARE(row->textAlignment(4) & Qt::AlignRight, int(Qt::AlignRight));
            shown << cells.join(QLatin1Char('|'));
        }
        QCOMPARE(shown, rows);
    }

    void driveSpaceLegend_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        QTest::newRow("plenty") << "LotOfSpaceLabel"
                                << "Lot of free space on disk" << QColor(17, 136, 255);
        QTest::newRow("low") << "LowSpaceLabel"
                             << "Low on disk space" << QColor(255, 128, 0);
        QTest::newRow("short") << "NoSpaceLabel"
                               << "Not enugh disk space" << QColor(255, 0, 128);
        QTest::newRow("unreadable") << "NotAvailableLabel"
                                    << "Not not avalable" << QColor(0, 128, 64);
    }
    void driveSpaceLegend()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QColor, color);
        TDriveSpace panel;
        auto *label = panel.findChild<QLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->palette().color(QPalette::WindowText), color);
    }
};

QTEST_MAIN(TestDriveDialogs)
#include "tst_drivedialogs.moc"
