#include "ScopedEnv.h"
#include "TestDrives.h"

#include "control/ProtectionFolderRule.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {

const QString DataFolder = QStringLiteral("C:\\ProgramData\\Trovalo");

// Drives C: (the computer, with a home folder) and E: (a stick); a second
// stick F: is mounted inside C:'s tree, as /media/<user>/<label> is.
struct TComputer
{
    test::TTestDrives Drives{{{'C', QString()}, {'E', QStringLiteral("bus=USB")}}};
    test::TScopedEnv Home{"HOME", Drives.Native('C', QStringLiteral("home/ann"))};

    TComputer()
    {
        for (const char *folder : {"home/ann/Old versions", "ProgramData/Trovalo/ConfigData/Backups",
                                   "ProgramData/Trovalo/Deleted", "Links"})
            QDir().mkpath(Drives.Native('C', QLatin1String(folder)));
        QDir().mkpath(Drives.Native('E', QStringLiteral("Deleted")));
        QFile::link(Drives.Native('C', QStringLiteral("home/ann")),
                    Drives.Native('C', QStringLiteral("Links/ann")));
        Drives.AddDrive('F', Drives.Native('C', QStringLiteral("media/ann/STICK")),
                        QStringLiteral("bus=USB"));
    }
};

} // namespace

class TestProtectionFolderRule : public QObject
{
    Q_OBJECT

private slots:
    void refusedAndAllowedFolders_data();
    void refusedAndAllowedFolders();
};

void TestProtectionFolderRule::refusedAndAllowedFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason"); // part of the refusal; "" when the folder is allowed
    const char *rows[][3] = {
        {"the computer's root", "C:\\", "it is the root of the drive C:\\"},
        {"a stick's root", "E:", "it is the root of the drive E:\\"},
        {"the folder a stick is mounted in", "C:\\media\\", "it holds the drive F:\\"},
        {"home", "C:\\home\\ann", "it is your home folder"},
        {"a folder containing home", "C:\\home\\", "it holds your home folder C:\\home\\ann"},
        {"a link to home", "C:\\Links\\ann\\", "it is your home folder"},
        {"the data folder", "C:\\ProgramData\\Trovalo\\", "it is the program's data folder"},
        {"a folder containing it", "C:\\ProgramData\\", "it holds the program's data folder"},
        {"ConfigData", "C:\\ProgramData\\Trovalo\\ConfigData\\", "the program keeps its settings there"},
        {"inside ConfigData", "C:\\ProgramData\\Trovalo\\ConfigData\\Backups\\", "keeps its settings there"},
        {"a drive that is not there", "G:\\Deleted\\", "it is on no drive of this computer"},
        {"allowed: the default Deleted folder", "C:\\ProgramData\\Trovalo\\Deleted\\", ""},
        {"allowed: an ordinary folder in home", "C:\\home\\ann\\Old versions\\", ""},
        {"allowed: a folder on a stick", "E:\\Deleted\\", ""},
        {"allowed: a folder not made yet", "C:\\Versions\\Deleted\\", ""},
    };
    for (const auto &[name, folder, reason] : rows)
        QTest::newRow(name) << QString::fromUtf8(folder) << QString::fromUtf8(reason);
}

void TestProtectionFolderRule::refusedAndAllowedFolders()
{
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    TComputer computer;
    const std::optional<QString> refusal = ProtectionFolderRefusal(folder, DataFolder);
    if (reason.isEmpty()) {
        QVERIFY2(!refusal, qPrintable(refusal.value_or(QString())));
        return;
    }
    QVERIFY(refusal);
    QVERIFY2(refusal->startsWith(folder + QStringLiteral(" cannot be the Deleted File Protection folder: ")),
             qPrintable(*refusal));
    QVERIFY2(refusal->contains(reason), qPrintable(*refusal));
}

QTEST_GUILESS_MAIN(TestProtectionFolderRule)
#include "tst_protectionfolderrule.moc"
