#include "TestDrives.h"
#include "TestFiles.h"

#include "picker/NvShellTreeViewEx.h"
#include "picker/ShellTreeModel.h"
#include "platform/DriveTable.h"
#include "platform/FatAttributeIo.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace trovalo;

namespace {
using TModel = TShellTreeModel;

// Stands in for a FAT stick on E:, where "DosHidden" carries the hidden bit.
class TFatStick : public TFatAttributeIo
{
public:
    QString Root;
    bool IsFatVolume(const QString &native) const override { return native.startsWith(Root); }
    std::optional<quint32> Get(const QString &native) const override
    {
        return native.endsWith(QLatin1String("/DosHidden")) ? faHidden : faArchive;
    }
    bool Set(const QString &, quint32) const override { return false; }
};

QModelIndex Find(TNvShellTreeViewEx &view, const QString &path)
{
    return static_cast<TModel *>(view.model())->FindPath(path);
}

QStringList ChildNames(QAbstractItemModel &model, const QModelIndex &parent)
{
    if (model.canFetchMore(parent))
        model.fetchMore(parent);
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << model.index(row, 0, parent).data().toString();
    return names;
}

QVariant Mark(TNvShellTreeViewEx &view, const QString &path)
{
    return Find(view, path).data(Qt::CheckStateRole);
}

} // namespace

class TestShellTreeView : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TTestDrives> FDrives;
    TFatStick FFat;

private slots:
    void initTestCase()
    {
        FDrives = std::make_unique<test::TTestDrives>(
            QMap<QChar, QString>{{'C', QString()}, {'E', QStringLiteral("bus=USB,label=STICK")}});
        for (const char *file : {"a.txt", "B.txt", "a.txt.bak", "Sub/c.txt", "Tmp/e.txt", ".dot.txt"})
            test::PutNative(FDrives->Native('C', QStringLiteral("Data/") + file), "12345");
        for (const char *folder : {"Data/Sub/Deep", "Data/Tmp/Inner", "Data/alpha", "Data/Zeta", "Data/.dot"})
            QVERIFY(QDir().mkpath(FDrives->Native('C', folder)));
        for (const char *folder : {"Visible", ".dotted", "DosHidden"})
            QVERIFY(QDir().mkpath(FDrives->Native('E', folder)));
        QVERIFY(QDir().mkpath(FDrives->Native('C', "Zips/Sub")));
        test::PutNative(FDrives->Native('C', "Zips/notes.txt"), "notes");
        test::PutZip("C:\\Zips\\C.Zip",
                     {"Users/Ann/a.txt", "Users/Ann/Docs/b.txt", "Users/.hidden/h.txt", "top.txt"});
        FFat.Root = FDrives->NativeRoot('E');
        TFatAttributeIo::SetCurrent(&FFat);
    }
    void cleanupTestCase()
    {
        TFatAttributeIo::SetCurrent(nullptr);
        FDrives.reset();
    }

    void desktopLevels_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("checkable");
        QTest::newRow("My Computer") << QList<int>{0} << "My Computer" << 0 << false;
        QTest::newRow("Local PC") << QList<int>{0, 0} << "Local PC" << 1 << false;
        QTest::newRow("Network") << QList<int>{0, 1} << "Network" << 1 << false;
        QTest::newRow("C:") << QList<int>{0, 0, 0} << "c (C:)  " + FDrives->NativeRoot('C') << 2 << true;
        QTest::newRow("E:") << QList<int>{0, 0, 1} << "STICK (E:)  " + FDrives->NativeRoot('E') << 2 << true;
        QTest::newRow("a folder") << QList<int>{0, 0, 0, 0} << "Data" << 3 << true;
    }
    void desktopLevels()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QString, caption);
        QFETCH(int, level);
        QFETCH(bool, checkable);
        TNvShellTreeViewEx view;
        QAbstractItemModel &model = *view.model();
        QModelIndex index;
        for (int row : rows) {
            ChildNames(model, index);
            index = model.index(row, 0, index);
        }
        QCOMPARE(index.data().toString(), caption);
        QCOMPARE(index.data(TModel::LevelRole).toInt(), level);
        QCOMPARE(model.flags(index).testFlag(Qt::ItemIsUserCheckable), checkable);
        QCOMPARE(model.setData(index, Qt::Checked, Qt::CheckStateRole), checkable);
        QCOMPARE(view.IncludeList().size(), checkable ? 1 : 0);
    }

    void listing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("selectFiles");
        QTest::addColumn<bool>("showHidden");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("folders") << "C:\\Data\\" << false << false
                                 << QStringList{"alpha", "Sub", "Tmp", "Zeta"};
        QTest::newRow("files after folders")
            << "C:\\Data\\" << true << false
            << QStringList{"alpha", "Sub", "Tmp", "Zeta", "a.txt", "a.txt.bak", "B.txt"};
        QTest::newRow("dot names shown")
            << "C:\\Data\\" << true << true
            << QStringList{".dot", "alpha", "Sub", "Tmp", "Zeta", ".dot.txt", "a.txt", "a.txt.bak", "B.txt"};
        QTest::newRow("DOS hidden left out") << "E:\\" << false << false << QStringList{"Visible"};
        QTest::newRow("DOS hidden shown")
            << "E:\\" << false << true << QStringList{".dotted", "DosHidden", "Visible"};
    }
    void listing()
    {
        QFETCH(QString, folder);
        QFETCH(bool, selectFiles);
        QFETCH(bool, showHidden);
        QFETCH(QStringList, names);
        TNvShellTreeViewEx view;
        view.SetSelectFiles(selectFiles);
        view.SetShowHidden(showHidden);
        QCOMPARE(ChildNames(*view.model(), Find(view, folder)), names);
    }

    void archiveListing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("showZipFiles");
        QTest::addColumn<bool>("selectFiles");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("archives as plain files")
            << "C:\\Zips\\" << false << true << QStringList{"Sub", "C.Zip", "notes.txt"};
        QTest::newRow("an archive among the folders")
            << "C:\\Zips\\" << true << false << QStringList{"C.Zip", "Sub"};
        QTest::newRow("archive root, folders")
            << "C:\\Zips\\C.Zip\\" << true << false << QStringList{"Users"};
        QTest::newRow("archive root, files")
            << "C:\\Zips\\C.Zip\\" << true << true << QStringList{"Users", "top.txt"};
        QTest::newRow("folders from entry names, dot names left out")
            << "C:\\zips\\c.zip\\users\\" << true << true << QStringList{"Ann"};
        QTest::newRow("inner folder")
            << "C:\\Zips\\C.Zip\\Users\\Ann\\" << true << true << QStringList{"Docs", "a.txt"};
    }
    void archiveListing()
    {
        QFETCH(QString, folder);
        QFETCH(bool, showZipFiles);
        QFETCH(bool, selectFiles);
        QFETCH(QStringList, names);
        TNvShellTreeViewEx view;
        view.SetShowZipFiles(showZipFiles);
        view.SetSelectFiles(selectFiles);
        QCOMPARE(ChildNames(*view.model(), Find(view, folder)), names);
    }

    void archiveEntriesAreSelectable()
    {
        TNvShellTreeViewEx view;
        view.SetShowZipFiles(true);
        view.SetSelectFiles(true);
        const QModelIndex file = Find(view, "C:\\Zips\\C.Zip\\Users\\Ann\\Docs\\b.txt");
        QCOMPARE(file.data(TModel::PathRole).toString(), "C:\\Zips\\C.Zip\\Users\\Ann\\Docs\\b.txt");
        QCOMPARE(file.data(TModel::SizeRole).toLongLong(), qint64(strlen("Users/Ann/Docs/b.txt")));
        QVERIFY(file.data(TModel::InsideArchiveRole).toBool());
        QVERIFY(!Find(view, "C:\\Zips\\C.Zip\\").data(TModel::InsideArchiveRole).toBool());
        QSignalSpy sized(&view, &TNvShellTreeViewEx::FileSizeChanged);
        view.ClickFolder("C:\\Zips\\C.Zip\\Users\\", true);
        view.ClickFolder("C:\\Zips\\C.Zip\\Users\\Ann\\Docs\\", false);
        QCOMPARE(view.IncludeList(), QStringList{"C:\\Zips\\C.Zip\\Users\\"});
        QCOMPARE(view.ExcludeList(), QStringList{"C:\\Zips\\C.Zip\\Users\\Ann\\Docs\\"});
        QVERIFY(view.isClick("C:\\Zips\\C.Zip\\Users\\Ann\\a.txt"));
        QVERIFY(!view.isClick("C:\\Zips\\C.Zip\\Users\\Ann\\Docs\\b.txt"));
        // Entries have no native path: the counter leaves them out.
        QTRY_COMPARE(sized.size(), 1);
        QCOMPARE((QList<qint64>{view.FileSize(), view.FileCount(), view.FolderCount()}),
                 (QList<qint64>{0, 0, 0}));
    }

    // An archive is read when it is first expanded, and again after F5.
    void archiveReadWhenExpanded()
    {
        test::PutAt("C:\\Later\\D.Zip", "not yet an archive");
        TNvShellTreeViewEx view;
        view.SetShowZipFiles(true);
        QVERIFY(view.SelectPath("C:\\Later\\"));
        const QModelIndex archive = Find(view, "C:\\Later\\D.Zip\\");
        QVERIFY(archive.isValid());
        test::PutZip("C:\\Later\\D.Zip", {"First/x.txt"});
        QCOMPARE(ChildNames(*view.model(), archive), QStringList{"First"});
        test::PutZip("C:\\Later\\D.Zip", {"First/x.txt", "Second/y.txt"});
        QVERIFY(view.SelectPath("C:\\Later\\D.Zip\\"));
        QTest::keyClick(&view, Qt::Key_F5);
        QCOMPARE(ChildNames(*view.model(), view.currentIndex()), (QStringList{"First", "Second"}));
        // A file that is no archive shows as an empty folder.
        test::PutAt("C:\\Later\\D.Zip", "damaged");
        QTest::keyClick(&view, Qt::Key_F5);
        QCOMPARE(ChildNames(*view.model(), view.currentIndex()), QStringList());
    }

    // "+path" checks, "-path" unchecks.
    void clicks_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("exclude");
        QTest::newRow("check") << QStringList{"+C:\\Data\\"} << QStringList{"C:\\Data\\"} << QStringList();
        QTest::newRow("uncheck a child") << QStringList{"+C:\\Data\\", "-C:\\Data\\Tmp\\"}
                                         << QStringList{"C:\\Data\\"} << QStringList{"C:\\Data\\Tmp\\"};
        QTest::newRow("a file and its namesake")
            << QStringList{"+C:\\Data\\a.txt", "+C:\\Data\\a.txt.bak", "-C:\\Data\\a.txt"}
            << QStringList{"C:\\Data\\a.txt.bak"} << QStringList();
    }
    void clicks()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, include);
        QFETCH(QStringList, exclude);
        TNvShellTreeViewEx view;
        view.SetSelectFiles(true);
        for (const QString &click : clicks)
            view.ClickFolder(click.mid(1), click.startsWith('+'));
        QCOMPARE(view.IncludeList(), include);
        QCOMPARE(view.ExcludeList(), exclude);
        const QString last = clicks.constLast().mid(1);
        QCOMPARE(view.isClick(last), clicks.constLast().startsWith('+'));
        QCOMPARE(Mark(view, last), QVariant(view.isClick(last) ? Qt::Checked : Qt::Unchecked));
    }

    void childrenListedLaterTakeTheirMarks()
    {
        TNvShellTreeViewEx view;
        view.ClickFolder("C:\\Data\\", true);
        view.ClickFolder("C:\\Data\\Tmp\\", false);
        const QModelIndex sub = Find(view, "C:\\Data\\Sub\\");
        QCOMPARE(view.model()->rowCount(sub), 0); // not listed until shown
        QCOMPARE(Mark(view, "C:\\Data\\Sub\\Deep\\"), QVariant(Qt::Checked));
        QCOMPARE(Mark(view, "C:\\Data\\Tmp\\Inner\\"), QVariant(Qt::Unchecked));
    }

    void clickRedrawsShownChildren()
    {
        TNvShellTreeViewEx view;
        QAbstractItemModel &model = *view.model();
        const QModelIndex data = Find(view, "C:\\Data\\");
        const int children = ChildNames(model, data).size();
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy checkChanged(&view, &TNvShellTreeViewEx::CheckChanged);
        QVERIFY(model.setData(data, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(checkChanged.size(), 1);
        const bool covered = std::any_of(changed.cbegin(), changed.cend(), [&](const QList<QVariant> &args) {
            const auto first = args.at(0).toModelIndex(), last = args.at(1).toModelIndex();
            return first.parent() == data && first.row() == 0 && last.row() == children - 1;
        });
        QVERIFY(covered);
        QCOMPARE(model.index(children - 1, 0, data).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    }

    void addFolderFilter_data()
    {
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("refused") << false << QStringList{"alpha", "Sub", "Zeta"};
        QTest::newRow("failing") << true << QStringList{"alpha", "Sub", "Tmp", "Zeta"};
    }
    void addFolderFilter()
    {
        QFETCH(bool, throws);
        QFETCH(QStringList, names);
        TNvShellTreeViewEx view;
        QStringList asked;
        view.SetOnAddFolder([&](const TShellEntry &entry) {
            asked << QStringLiteral("%1:%2:%3").arg(entry.Kind).arg(entry.Level).arg(entry.Path);
            if (entry.Name == QLatin1String("Tmp") && throws)
                throw std::runtime_error("filter failed");
            return entry.Name != QLatin1String("Tmp");
        });
        QCOMPARE(ChildNames(*view.model(), Find(view, "C:\\Data\\")), names);
        QVERIFY(asked.contains("0:0:") && asked.contains("0:1:") && asked.contains("1:1:"));
        QVERIFY(asked.contains("2:2:E:\\") && asked.contains("4:4:C:\\Data\\Sub\\"));
    }

    void folderNotFound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << "C:\\Gone\\";
        QTest::newRow("unknown drive") << "Q:\\Data\\";
        QTest::newRow("hidden folder") << "C:\\Data\\.dot\\";
        QTest::newRow("file without SelectFiles") << "C:\\Data\\a.txt";
        QTest::newRow("shorter namesake") << "C:\\Dat\\";
        QTest::newRow("empty") << "";
    }
    void folderNotFound()
    {
        QFETCH(QString, path);
        TNvShellTreeViewEx view;
        QVERIFY_THROWS_EXCEPTION(EFolderNotFound, view.ClickFolder(path, true));
        QVERIFY(view.IncludeList().isEmpty());
        QVERIFY(!view.isClick(path));
        QVERIFY(!view.SelectPath(path));
    }

    void loadFromDataList()
    {
        TNvShellTreeViewEx view;
        const QStringList include{"C:\\Data\\", "C:\\Gone\\", "Q:\\Data\\"};
        QCOMPARE(view.LoadFromDataList(include, {"C:\\Data\\Tmp\\"}),
                 (QStringList{"C:\\Gone\\", "Q:\\Data\\"}));
        QCOMPARE(view.IncludeList(), include);
        QVERIFY(view.isClick("C:\\Data\\Sub\\Deep\\"));
        QVERIFY(!view.isClick("C:\\Data\\Tmp\\Inner\\"));
    }

    void countersFollowTheSelection()
    {
        TNvShellTreeViewEx view;
        QSignalSpy sized(&view, &TNvShellTreeViewEx::FileSizeChanged);
        view.ClickFolder("C:\\Data\\", true);
        QTRY_COMPARE(sized.size(), 1);
        // Hidden entries are backed up too; Data itself is not counted.
        QCOMPARE((QList<qint64>{view.FileSize(), view.FileCount(), view.FolderCount()}),
                 (QList<qint64>{30, 6, 7}));
        view.model()->setData(Find(view, "C:\\Data\\Tmp\\"), Qt::Unchecked, Qt::CheckStateRole);
        QTRY_COMPARE(sized.size(), 2);
        QCOMPARE((QList<qint64>{view.FileSize(), view.FileCount(), view.FolderCount()}),
                 (QList<qint64>{25, 5, 5}));
        view.Initialize();
        QCOMPARE(sized.size(), 3);
        QCOMPARE(view.FileCount(), 0);
        QVERIFY(view.IncludeList().isEmpty() && !view.isClick("C:\\Data\\"));
    }

    void rootFolder()
    {
        TNvShellTreeViewEx view;
        view.SetRootFolder("E:\\");
        const auto top = [&] { return view.model()->index(0, 0); };
        QCOMPARE(view.model()->rowCount(), 1);
        QCOMPARE(top().data().toString(), "STICK (E:)  " + FDrives->NativeRoot('E'));
        QCOMPARE(top().data(TModel::LevelRole).toInt(), 0);
        QVERIFY(!top().flags().testFlag(Qt::ItemIsUserCheckable));
        QCOMPARE(Find(view, "E:\\Visible\\").data(TModel::LevelRole).toInt(), 1);
        QVERIFY(!Find(view, "C:\\Data\\").isValid());
        view.SetRootSellectOK(true);
        QVERIFY(top().flags().testFlag(Qt::ItemIsUserCheckable));
    }

    void plainFolderTree()
    {
        TNvShellTreeViewEx view;
        view.SetCheckBoxes(false);
        QSignalSpy current(&view, &TNvShellTreeViewEx::SelectedPathChanged);
        QVERIFY(view.SelectPath("C:\\Data\\Sub\\"));
        QCOMPARE(view.SelectedPath(), "C:\\Data\\Sub\\");
        QCOMPARE(current.constLast().at(0).toString(), "C:\\Data\\Sub\\");
        QVERIFY(!view.currentIndex().data(Qt::CheckStateRole).isValid());
        QVERIFY(!view.model()->setData(view.currentIndex(), Qt::Checked, Qt::CheckStateRole));
    }

    void f5ListsAgain()
    {
        TNvShellTreeViewEx view;
        QVERIFY(view.SelectPath("C:\\Data\\Sub\\"));
        QCOMPARE(ChildNames(*view.model(), view.currentIndex()), QStringList{"Deep"});
        QVERIFY(QDir().mkpath(FDrives->Native('C', "Data/Sub/Made")));
        QTest::keyClick(&view, Qt::Key_F5);
        QCOMPARE(ChildNames(*view.model(), view.currentIndex()), (QStringList{"Deep", "Made"}));
        QVERIFY(QDir().rmdir(FDrives->Native('C', "Data/Sub/Made")));
    }

    void pseudoFileSystemsNeverListed()
    {
        qputenv("TROVALO_DRIVES", "C=/");
        TDriveTable::Instance().Refresh();
        TNvShellTreeViewEx view;
        view.SetShowHidden(true);
        view.SetRootFolder("C:\\");
        const QStringList names = ChildNames(*view.model(), view.model()->index(0, 0));
        qputenv("TROVALO_DRIVES", FDrives->DrivesVariable().toUtf8());
        TDriveTable::Instance().Refresh();
        QVERIFY2(names.contains("usr"), qPrintable(names.join(' ')));
        for (const char *pseudo : {"proc", "sys", "dev", "run"})
            QVERIFY2(!names.contains(pseudo), pseudo);
    }
};

QTEST_MAIN(TestShellTreeView)
#include "tst_shelltreeview.moc"
