#include "TestDrives.h"

#include "FileManagerLink.h"
#include "MessageBoxes.h"
#include "base/PathText.h"
#include "dialogs/FileSyncPromptDlg.h"

#include <QAbstractButton>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QTreeWidget>
#include <QtTest>

using namespace trovalo;
using TDlg = TFileSyncPromptDlg;

namespace {

const char *RadioNames[] = {"ActionDoNothing", "ActionComputerVersion", "ActionUsbDriveVersion",
                            "ActionNewestVersion"};
// A row's text colour for each answer.
const QColor Colours[] = {QColor(255, 0, 128), QColor(0, 145, 72), QColor(114, 174, 0), QColor(0, 128, 255)};

// A dbus-daemon of the test's own, optionally with a file manager stand-in
// (python3-dbusmock) that records the items it is asked to show.
struct TPrivateBus
{
    const QString Service = QStringLiteral("org.freedesktop.FileManager1");
    const QString ObjectPath = QStringLiteral("/org/freedesktop/FileManager1");
    QProcess Daemon, Mock;
    QString Name;

    bool Start(const QString &name, bool withFileManager)
    {
        Name = name;
        Daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (!Daemon.waitForStarted() || !Daemon.waitForReadyRead(5000))
            return false;
        const QString address = QString::fromUtf8(Daemon.readLine()).trimmed();
        if (!Bus(address).isConnected() || !withFileManager)
            return Bus().isConnected();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        Mock.setProcessEnvironment(env);
        Mock.start(QStringLiteral("/usr/bin/python3"), {"-m", "dbusmock", Service, ObjectPath, Service});
        const auto up = [&] {
            const QDBusMessage reply =
                Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {Service});
            return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
        };
        if (!QTest::qWaitFor(up, 10000))
            return false;
        // Plain calls, not QDBusInterface: its introspection cache outlives a
        // private connection and shows up as a leak.
        const QString mock = QStringLiteral("org.freedesktop.DBus.Mock");
        const QString add = QStringLiteral("AddMethod");
        Call(Service, ObjectPath, mock, add,
             {QString(), "ShowItems", "ass", "", "self.shown = list(args[0])"});
        return Call(Service, ObjectPath, mock, add, {QString(), "Shown", "", "as", "ret = self.shown"})
                   .type() == QDBusMessage::ReplyMessage;
    }
    QDBusMessage Call(const QString &service, const QString &path, const QString &interface,
                      const QString &method, const QVariantList &arguments = {}) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(arguments);
        return Bus().call(call);
    }
    QDBusConnection Bus(const QString &address = {}) const
    {
        return address.isEmpty() ? QDBusConnection(Name) : QDBusConnection::connectToBus(address, Name);
    }
    QStringList Shown() const
    {
        return Call(Service, ObjectPath, Service, QStringLiteral("Shown"))
            .arguments()
            .value(0)
            .toStringList();
    }
    ~TPrivateBus()
    {
        QDBusConnection::disconnectFromBus(Name);
        for (QProcess *process : {&Mock, &Daemon}) {
            process->kill();
            process->waitForFinished();
        }
    }
};

// Receives what the desktop would open.
class TUrlCatcher : public QObject
{
    Q_OBJECT
public:
    QStringList Opened;
public slots:
    void Open(const QUrl &url) { Opened << url.toLocalFile(); }
};

TSyncConflict Pair(const QString &name, TFileAction action = faCopyAB, qint64 sizeA = 10, qint64 sizeB = 20)
{
    TSyncConflict pair{"E:\\Docs\\" + name, "C:\\Docs\\" + name, sizeA, sizeB};
    pair.DateA = sizeA < 0 ? 0 : 46000.5;
    pair.DateB = sizeB < 0 ? 0 : 46001.5;
    pair.Action = action;
    return pair;
}

QList<TSyncConflict> Pairs(const QStringList &names)
{
    QList<TSyncConflict> pairs;
    for (const QString &name : names)
        pairs << Pair(name);
    return pairs;
}

QTreeWidget *List(TDlg &dialog)
{
    return dialog.findChild<QTreeWidget *>(QStringLiteral("ListView"));
}

QAbstractButton *Radio(TDlg &dialog, int choice)
{
    return dialog.findChild<QAbstractButton *>(QString::fromLatin1(RadioNames[choice]));
}

QString LabelText(TDlg &dialog, const char *name)
{
    return dialog.findChild<QLabel *>(QString::fromLatin1(name))->text();
}

} // namespace

class TestFileSyncPromptDlg : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetModalHandler({}); }

    // Steps: "sRRR" selects rows (the first current), "cN" chooses answer N,
    // "r" clicks the repeat box, "t" toggles it while disabled.
    void selectionAndRepeat_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<bool>("enabled");
        const int n = TDlg::ccNewestVersion;
        QTest::newRow("three rows changed, the others kept")
            << QStringList{"s102", "c0"} << QList<int>{0, 0, 0, n, n} << true;
        QTest::newRow("repeat after choosing for one row")
            << QStringList{"s3", "c1", "r"} << QList<int>{1, 1, 1, 1, 1} << true;
        QTest::newRow("unchecking repeats too")
            << QStringList{"s3", "c1", "r", "s0", "c2", "r"} << QList<int>{2, 2, 2, 2, 2} << true;
        QTest::newRow("the group shows the current row's answer")
            << QStringList{"s4", "c2", "s0", "r"} << QList<int>{n, n, n, n, n} << true;
        QTest::newRow("the entry already checked applies to every selected row")
            << QStringList{"s0", "c0", "s01", "c0"} << QList<int>{0, 0, n, n, n} << true;
        QTest::newRow("no selection disables the choices")
            << QStringList{"s2", "c1", "s"} << QList<int>{n, n, 1, n, n} << false;
        QTest::newRow("repeat without an entry changes nothing")
            << QStringList{"t"} << QList<int>{n, n, n, n, n} << false;
    }
    void selectionAndRepeat()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, choices);
        QFETCH(bool, enabled);
        TDlg dialog;
        dialog.AddConflicts(Pairs({"e.txt", "d.txt", "c.txt", "b.txt", "a.txt"}));
        QTreeWidget *list = List(dialog);
        auto *repeat = dialog.findChild<QAbstractButton *>(QStringLiteral("chkRepeat"));
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1Char('s'))) {
                list->clearSelection();
                for (QChar row : step.mid(1))
                    list->topLevelItem(row.digitValue())->setSelected(true);
                if (step.size() > 1)
                    list->setCurrentItem(list->topLevelItem(step[1].digitValue()), 0,
                                         QItemSelectionModel::NoUpdate);
            } else if (step.startsWith(QLatin1Char('c'))) {
                Radio(dialog, step[1].digitValue())->click();
            } else {
                step == QLatin1String("r") ? repeat->click() : repeat->toggle();
            }
        }
        QList<int> shown;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            shown << dialog.Choice(4 - row); // rows are sorted: a.txt is the fifth pair
            for (int column = 0; column < 4; ++column)
                QCOMPARE(list->topLevelItem(row)->foreground(column).color(), Colours[choices[row]]);
        }
        QCOMPARE(shown, choices);
        QCOMPARE(repeat->isEnabled(), enabled);
        QCOMPARE(dialog.findChild<QGroupBox *>(QStringLiteral("Action"))->isEnabled(), enabled);
        // "N / A" until a row was shown, "N/A" once none is.
        if (!enabled)
            QCOMPARE(LabelText(dialog, "PCFolder"), steps.size() > 1 ? "N/A" : "N / A");
    }

    // Answers of the first three rows changed; the fourth keeps the engine's.
    void answers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QList<int>>("actions");
        const QList<int> asBefore{faCopyBA, faCopyAB, faCopyBA, faCopyAB};
        QTest::newRow("OK") << "OKBtn" << true << QList<int>{faSkip, faCopyBA, faCopyAB, faCopyAB};
        QTest::newRow("Cancel") << "PngSpeedButton1" << false << asBefore;
        QTest::newRow("close box") << "" << false << asBefore;
    }
    void answers()
    {
        QFETCH(QString, button);
        QFETCH(bool, goOn);
        QFETCH(QList<int>, actions);
        SetModalHandler([&](QDialog &shown) {
            auto &dialog = static_cast<TDlg &>(shown);
            for (int row = 0; row < 3; ++row) {
                List(dialog)->setCurrentItem(List(dialog)->topLevelItem(row));
                Radio(dialog, row)->click();
            }
            dialog.show();
            if (!QTest::qWaitForWindowExposed(&dialog))
                return -1;
            button.isEmpty() ? void(dialog.close()) : dialog.findChild<QAbstractButton *>(button)->click();
            // It fades out before it closes with the kept result.
            return QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000) ? dialog.result() : -1;
        });
        QList<TSyncConflict> pairs{Pair("a.txt", faCopyBA), Pair("b.txt", faCopyAB), Pair("c.txt", faCopyBA),
                                   Pair("d.txt", faCopyAB)};
        QCOMPARE(TDlg::Ask(nullptr, pairs), goOn);
        QList<int> answered;
        for (const TSyncConflict &pair : pairs)
            answered << pair.Action;
        QCOMPARE(answered, actions);
    }

    // Sorted by name, letter case aside (upper case first among equals);
    // one icon position per extension, the unknown-file icon without one.
    void rowsAndIcons()
    {
        TDlg dialog;
        dialog.AddConflicts(Pairs({"x.pdf", "b.TXT", "C", "a.txt", "X.pdf"}));
        QStringList names;
        QList<int> icons;
        for (int row = 0; row < List(dialog)->topLevelItemCount(); ++row) {
            names << List(dialog)->topLevelItem(row)->text(0);
            icons << dialog.GetIconIndex(ExtractFileExt(names.last()));
        }
        QCOMPARE(names, QStringList({"a.txt", "b.TXT", "C", "X.pdf", "x.pdf"}));
        QCOMPARE(icons[0], icons[1]);
        QCOMPARE(icons[2], 1);
        QVERIFY(icons[3] > 1 && icons[3] != icons[0] && icons[3] == icons[4]);
        List(dialog)->topLevelItem(2)->setSelected(true);
        QCOMPARE(LabelText(dialog, "FileType"), QStringLiteral("Unknown File"));
    }

    // A pair changed on one side and deleted on the other: "Open in
    // Explorer" shows only the file that exists, through the file manager
    // on the bus or, without one, by opening its folder.
    void deletedSide_data()
    {
        QTest::addColumn<bool>("usbDeleted");
        QTest::addColumn<bool>("withFileManager");
        QTest::newRow("deleted on the USB drive") << true << true;
        QTest::newRow("deleted on the computer, no file manager") << false << false;
    }
    void deletedSide()
    {
        QFETCH(bool, usbDeleted);
        QFETCH(bool, withFileManager);
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("no dbus-daemon");
        test::TTestDrives drives;
        TPrivateBus bus;
        QVERIFY(bus.Start(QStringLiteral("deletedSide"), withFileManager));
        const TSyncConflict pair = Pair("a b.txt", faCopyAB, usbDeleted ? -1 : 10, usbDeleted ? 20 : -1);
        const QString existing = drives.Native(usbDeleted ? 'C' : 'E', QStringLiteral("Docs/a b.txt"));
        TDlg dialog;
        dialog.SetFileManager(TFileManagerLink(bus.Bus()));
        dialog.AddConflicts({pair});
        QTreeWidgetItem *row = List(dialog)->topLevelItem(0);
        row->setSelected(true);
        QCOMPARE(row->text(usbDeleted ? 1 : 2), QStringLiteral("File Not Found"));
        QCOMPARE(LabelText(dialog, usbDeleted ? "USBSize" : "PCSize"), QStringLiteral("File Not Found"));
        QCOMPARE(LabelText(dialog, usbDeleted ? "USBDate" : "PCDate"), QString());
        QVERIFY(
            LabelText(dialog, "DifferLabel")
                .contains(usbDeleted ? "deletes it from this computer" : "deletes it from the USB drive"));
        TUrlCatcher desktop;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "Open");
        dialog.findChild<QAction *>(QStringLiteral("OpeninExplorer1"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QStringList shown;
        for (const QString &uri : withFileManager ? bus.Shown() : QStringList())
            shown << QUrl(uri).toLocalFile();
        QCOMPARE(shown, withFileManager ? QStringList{existing} : QStringList());
        QCOMPARE(desktop.Opened, withFileManager ? QStringList() : QStringList{QFileInfo(existing).path()});
    }
};

QTEST_MAIN(TestFileSyncPromptDlg)
#include "tst_filesyncpromptdlg.moc"
