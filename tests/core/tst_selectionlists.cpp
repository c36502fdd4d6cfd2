#include "model/SelectionLists.h"

#include <QtTest>

using namespace trovalo;

class TestSelectionLists : public QObject
{
    Q_OBJECT

private slots:
    void click_data()
    {
        QTest::addColumn<QStringList>("include");
        QTest::addColumn<QStringList>("exclude");
        QTest::addColumn<bool>("check");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("includeAfter");
        QTest::addColumn<QStringList>("excludeAfter");

        const QString data = "C:\\Data\\", tmp = "C:\\Data\\Tmp\\", keep = "C:\\Data\\Tmp\\Keep\\";
        QTest::newRow("check a folder")
            << QStringList() << QStringList() << true << data << QStringList{data} << QStringList();
        QTest::newRow("uncheck inside a checked folder")
            << QStringList{data} << QStringList() << false << tmp << QStringList{data} << QStringList{tmp};
        QTest::newRow("check an excluded folder again")
            << QStringList{data} << QStringList{tmp} << true << tmp << QStringList{data} << QStringList();
        QTest::newRow("check the parent of checked folders")
            << QStringList{"C:\\Data\\A\\", "C:\\Data\\B\\", "C:\\Other\\"} << QStringList() << true << data
            << QStringList{"C:\\Other\\", data} << QStringList();
        QTest::newRow("uncheck a checked folder")
            << QStringList{data} << QStringList() << false << data << QStringList() << QStringList();
        QTest::newRow("unchecking a file keeps its longer namesake")
            << QStringList{"C:\\a.txt", "C:\\a.txt.bak"} << QStringList() << false << "C:\\a.txt"
            << QStringList{"C:\\a.txt.bak"} << QStringList();
        QTest::newRow("unchecking a folder keeps its longer namesake")
            << QStringList{data, "C:\\Database\\"} << QStringList() << false << data
            << QStringList{"C:\\Database\\"} << QStringList();
        QTest::newRow("case is ignored") << QStringList{"c:\\data\\"} << QStringList{"c:\\DATA\\tmp\\"}
                                         << true << tmp << QStringList{"c:\\data\\"} << QStringList();
        QTest::newRow("checking an excluded folder drops the entries inside it")
            << QStringList{data, keep} << QStringList{tmp} << true << tmp << QStringList{data}
            << QStringList();
        QTest::newRow("unchecking a folder drops every entry below it")
            << QStringList{data, keep} << QStringList{tmp} << false << data << QStringList() << QStringList();
        QTest::newRow("checking inside an excluded folder")
            << QStringList{data} << QStringList{tmp} << true << keep << QStringList{data, keep}
            << QStringList{tmp};
        QTest::newRow("unchecking an included folder inside an excluded one")
            << QStringList{data, keep} << QStringList{tmp} << false << keep << QStringList{data}
            << QStringList{tmp};
        QTest::newRow("other drives stay")
            << QStringList{data, "E:\\Data\\"} << QStringList{"E:\\Data\\Tmp\\"} << false << data
            << QStringList{"E:\\Data\\"} << QStringList{"E:\\Data\\Tmp\\"};
        QTest::newRow("share paths") << QStringList{"\\\\srv\\share\\Docs\\"} << QStringList() << false
                                     << "\\\\srv\\share\\Docs\\Old\\" << QStringList{"\\\\srv\\share\\Docs\\"}
                                     << QStringList{"\\\\srv\\share\\Docs\\Old\\"};
        // Stored lists that break the usual shape must still honour the click.
        QTest::newRow("stored exclude entry without an include above")
            << QStringList() << QStringList{tmp} << true << tmp << QStringList{tmp} << QStringList();
        QTest::newRow("stored include entry nested in another")
            << QStringList{data, "C:\\Data\\Sub\\"} << QStringList() << false << "C:\\Data\\Sub\\"
            << QStringList{data} << QStringList{"C:\\Data\\Sub\\"};
    }
    void click()
    {
        QFETCH(QStringList, include);
        QFETCH(QStringList, exclude);
        QFETCH(bool, check);
        QFETCH(QString, path);
        QFETCH(QStringList, includeAfter);
        QFETCH(QStringList, excludeAfter);
        TSelectionLists lists(include, exclude);
        if (check)
            lists.Include(path);
        else
            lists.Exclude(path);
        QCOMPARE(lists.IncludeList(), includeAfter);
        QCOMPARE(lists.ExcludeList(), excludeAfter);
        QCOMPARE(lists.IsChecked(path), check);
    }

    void isChecked_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("checked");
        QTest::newRow("the included folder") << "C:\\Data\\" << true;
        QTest::newRow("named without its backslash") << "C:\\Data" << true;
        QTest::newRow("a file in it") << "C:\\Data\\x.txt" << true;
        QTest::newRow("the excluded folder") << "C:\\Data\\Tmp\\" << false;
        QTest::newRow("inside the excluded folder") << "C:\\Data\\Tmp\\y.txt" << false;
        QTest::newRow("included again inside it") << "C:\\Data\\Tmp\\Keep\\z\\" << true;
        QTest::newRow("case is ignored") << "c:\\DATA\\tmp\\keep\\" << true;
        QTest::newRow("the drive above") << "C:\\" << false;
        QTest::newRow("a namesake folder") << "C:\\Database\\" << false;
        QTest::newRow("an included file") << "C:\\a.txt" << true;
        QTest::newRow("its longer namesake") << "C:\\a.txt.bak" << false;
        QTest::newRow("an excluded file in an included folder") << "C:\\Data\\b.txt" << false;
        QTest::newRow("another drive") << "E:\\Data\\" << false;
    }
    void isChecked()
    {
        QFETCH(QString, path);
        QFETCH(bool, checked);
        const TSelectionLists lists({"C:\\Data\\", "C:\\Data\\Tmp\\Keep\\", "C:\\a.txt"},
                                    {"C:\\Data\\Tmp\\", "C:\\Data\\b.txt"});
        QCOMPARE(lists.IsChecked(path), checked);
    }

    void hasEntriesBelow_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("below");
        QTest::newRow("the drive") << "C:\\" << true;
        QTest::newRow("the included folder") << "C:\\Data\\" << true;
        QTest::newRow("a namesake folder") << "C:\\Database\\" << false;
    }
    void hasEntriesBelow()
    {
        QFETCH(QString, folder);
        QFETCH(bool, below);
        const TSelectionLists lists({"C:\\Data\\", "C:\\Data\\Tmp\\Keep\\"}, {"C:\\Data\\Tmp\\"});
        QCOMPARE(lists.HasEntriesBelow(folder), below);
    }
};

QTEST_GUILESS_MAIN(TestSelectionLists)
#include "tst_selectionlists.moc"
