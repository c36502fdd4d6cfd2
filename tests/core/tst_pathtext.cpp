#include "base/PathText.h"

#include <QtTest>

using namespace trovalo;

class TestPathText : public QObject
{
    Q_OBJECT

private slots:
    void drive_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<bool>("absolute");
        QTest::newRow("letter") << "E:\\Docs\\a.txt"
                                << "E:" << true;
        QTest::newRow("letter only") << "e:"
                                     << "e:" << false;
        QTest::newRow("drive-relative") << "C:a"
                                        << "C:" << false;
        QTest::newRow("share with path") << "\\\\server\\share\\x\\y"
                                         << "\\\\server\\share" << true;
        QTest::newRow("share root") << "\\\\server\\share\\"
                                    << "\\\\server\\share" << true;
        QTest::newRow("share without trailing") << "\\\\server\\share"
                                                << "\\\\server\\share" << true;
        QTest::newRow("relative") << "Docs\\a.txt"
                                  << "" << false;
        QTest::newRow("rooted without drive") << "\\Docs"
                                              << "" << false;
        QTest::newRow("digit is no drive") << "1:\\x"
                                           << "" << false;
    }
    void drive()
    {
        QFETCH(QString, path);
        QFETCH(QString, drive);
        QFETCH(bool, absolute);
        QCOMPARE(ExtractFileDrive(path), drive);
        QCOMPARE(IsAbsolutePath(path), absolute);
    }

    void trailingBackslash_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("included");
        QTest::addColumn<QString>("excluded");
        QTest::newRow("folder") << "E:\\Docs"
                                << "E:\\Docs\\"
                                << "E:\\Docs";
        QTest::newRow("folder with backslash") << "E:\\Docs\\"
                                               << "E:\\Docs\\"
                                               << "E:\\Docs";
        QTest::newRow("root") << "E:\\"
                              << "E:\\"
                              << "E:";
        QTest::newRow("empty") << ""
                               << "\\"
                               << "";
        // Only one separator goes; the letter form never doubles them.
        QTest::newRow("double") << "E:\\a\\\\"
                                << "E:\\a\\\\"
                                << "E:\\a\\";
    }
    void trailingBackslash()
    {
        QFETCH(QString, path);
        QFETCH(QString, included);
        QFETCH(QString, excluded);
        QCOMPARE(IncludeTrailingBackslash(path), included);
        QCOMPARE(ExcludeTrailingBackslash(path), excluded);
    }

    void parts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("parent");
        QTest::newRow("file") << "E:\\a\\b.txt"
                              << "E:\\a\\"
                              << "b.txt"
                              << ".txt"
                              << "E:\\a";
        QTest::newRow("folder form") << "E:\\a\\"
                                     << "E:\\a\\"
                                     << ""
                                     << ""
                                     << "E:\\a";
        QTest::newRow("dot in folder, none in name") << "E:\\a.b\\c"
                                                     << "E:\\a.b\\"
                                                     << "c"
                                                     << ""
                                                     << "E:\\a.b";
        QTest::newRow("two dots") << "E:\\x.tar.gz"
                                  << "E:\\"
                                  << "x.tar.gz"
                                  << ".gz"
                                  << "E:";
        QTest::newRow("leading dot") << "E:\\.hidden"
                                     << "E:\\"
                                     << ".hidden"
                                     << ".hidden"
                                     << "E:";
        QTest::newRow("drive-relative") << "E:a.txt"
                                        << "E:"
                                        << "a.txt"
                                        << ".txt"
                                        << "";
        QTest::newRow("bare name") << "Config.cfg"
                                   << ""
                                   << "Config.cfg"
                                   << ".cfg"
                                   << "";
        QTest::newRow("job file") << "E:\\Config\\Backup 2014-07-10 12-00-00 000.zja"
                                  << "E:\\Config\\"
                                  << "Backup 2014-07-10 12-00-00 000.zja"
                                  << ".zja"
                                  << "E:\\Config";
        QTest::newRow("share") << "\\\\srv\\share\\f.doc"
                               << "\\\\srv\\share\\"
                               << "f.doc"
                               << ".doc"
                               << "\\\\srv\\share";
    }
    void parts()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QFETCH(QString, parent);
        QCOMPARE(ExtractFilePath(path), folder);
        QCOMPARE(ExtractFileName(path), name);
        QCOMPARE(ExtractFileExt(path), ext);
        QCOMPARE(ParentOf(path), parent);
    }

    void changeExt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("result");
        QTest::newRow("replace") << "E:\\a.Zja"
                                 << ".Zjd"
                                 << "E:\\a.Zjd";
        QTest::newRow("append") << "E:\\a"
                                << ".Zjd"
                                << "E:\\a.Zjd";
        QTest::newRow("dot in folder kept") << "E:\\v1.2\\job"
                                            << ".zjt"
                                            << "E:\\v1.2\\job.zjt";
        QTest::newRow("last dot only") << "E:\\a.b.c"
                                       << ".d"
                                       << "E:\\a.b.d";
        QTest::newRow("remove") << "E:\\a.txt"
                                << ""
                                << "E:\\a";
    }
    void changeExt()
    {
        QFETCH(QString, path);
        QFETCH(QString, ext);
        QFETCH(QString, result);
        QCOMPARE(ChangeFileExt(path, ext), result);
    }
};

QTEST_GUILESS_MAIN(TestPathText)
#include "tst_pathtext.moc"
