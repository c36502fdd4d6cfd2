#include "TestDrives.h"
#include "TestFiles.h"

#include "base/Exceptions.h"
#include "model/FileFilter.h"
#include "platform/FatAttributeIo.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>

using namespace trovalo;
using trovalo::test::WriteFile;

namespace {

// The matching rule in its plain recursive form, to check the fast one.
bool ReferenceMatch(const QString &pattern, qsizetype i, const QString &name, qsizetype j)
{
    if (i == pattern.size())
        return j == name.size();
    if (j == name.size())
        return false;
    if (pattern[i] == u'*')
        return name[j] != u'.' &&
               (ReferenceMatch(pattern, i + 1, name, j + 1) || ReferenceMatch(pattern, i, name, j + 1));
    if (pattern[i] == u'?')
        return name[j] != u'.' && ReferenceMatch(pattern, i + 1, name, j + 1);
    return pattern[i] == name[j] && ReferenceMatch(pattern, i + 1, name, j + 1);
}

QString RandomText(QRandomGenerator &random, QStringView alphabet, int length)
{
    QString text;
    for (; length > 0; --length)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

// Freely drawn names rarely match, so half of them are the pattern with its
// wildcards filled in by letters or dots: matches and near misses.
QString RandomName(QRandomGenerator &random, const QString &pattern)
{
    if (random.bounded(2) == 0)
        return RandomText(random, u"ab.*?", random.bounded(9));
    QString name;
    for (const QChar c : pattern) {
        if (c == u'*')
            name += RandomText(random, u"abab.", random.bounded(4));
        else if (c == u'?')
            name += RandomText(random, u"abab.", 1);
        else
            name += c;
    }
    return name;
}

// A FAT volume where every file carries the system attribute; counts reads.
class TSystemFat : public TFatAttributeIo
{
public:
    mutable int Reads = 0;
    TSystemFat() { SetCurrent(this); }
    ~TSystemFat() override { SetCurrent(nullptr); }
    bool IsFatVolume(const QString &) const override { return true; }
    std::optional<quint32> Get(const QString &) const override
    {
        ++Reads;
        return quint32(0x04); // the DOS system bit
    }
};

struct TListCase
{
    const char *extension, *mask, *fileName;
    bool excluded;
};

struct TAttributeCase
{
    const char *flags, *path, *fileName; // flags: R read-only, H hidden, S system, - checking off
    bool excluded;
};

} // namespace

class TestFileFilter : public QObject
{
    Q_OBJECT

private slots:
    // Every flag is clear, so the file (which does not exist) is never read.
    void lists_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("excluded");
        static const TListCase cases[] = {
            {".tmp", "", "report.TMP", true},
            {".tmp", "", "report.tmp.bak", false},
            {".tmp", "", "tmp", false},
            {".tmp", "", ".tmp", true},
            {".", "", "name.", true},
            {".tmp", "", "name.tmp.", false},
            {".\u00e9t\u00e9", "", "x.\u00c9T\u00c9", true},
            {"", "*.txt", "a.txt", true},
            {"", "*.txt", ".txt", false},
            {"", "*.txt", "a.b.txt", false},
            {"", "*.txt", "A.TXT", true},
            {"", "*", "readme", true},
            {"", "*", "readme.md", false},
            {"", "*.*", "a.b", true},
            {"", "*.*", "a.b.c", false},
            {"", "*.*", "ab", false},
            {"", "t?mp.doc", "temp.doc", true},
            {"", "t?mp.doc", "TEMP.DOC", true},
            {"", "t?mp.doc", "tmp.doc", false},
            {"", "t?mp.doc", "t.mp.doc", false},
            {"", "~*.doc", "~x.doc", true},
            {"", "~*.doc", "~abc.doc", true},
            {"", "~*.doc", "~.doc", false},
            {"", "thumbs.db", "Thumbs.db", true},
            {"", "thumbs.db", "thumbs.db.old", false},
            {"", "Thumbs.db", "Thumbs.db", false},
            {"", "*.TXT", "a.TXT", false},
            {"", "x|*.log", "Run.LOG", true},
            {".tmp", "*.txt", "a.doc", false},
        };
        for (const TListCase &c : cases) {
            QTest::addRow("%s%s vs %s", c.extension, c.mask, c.fileName)
                << QString::fromUtf8(c.extension) << QString::fromUtf8(c.mask)
                << QString::fromUtf8(c.fileName) << c.excluded;
        }
    }
    void lists()
    {
        QFETCH(QString, extension);
        QFETCH(QString, mask);
        QFETCH(QString, fileName);
        QFETCH(bool, excluded);
        TFileFilter filter;
        filter.SetExcludeFileExtList(extension.split(u'|', Qt::SkipEmptyParts));
        filter.SetExcludeMaskList(mask.split(u'|', Qt::SkipEmptyParts));
        QCOMPARE(IsExcludedFile(filter, fileName, QStringLiteral("E:\\gone")), excluded);
    }

    void attributes_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("excluded");
        static const TAttributeCase cases[] = {
            {"H", "E:\\Folder", ".dot", true},       {"H", "E:\\Folder\\", "listed.txt", true},
            {"H", "E:\\Folder", "plain.txt", false}, {"H", "E:\\Folder", "ro.txt", false},
            {"R", "E:\\Folder\\", "ro.txt", true},   {"R", "E:\\Folder", ".dot", false},
            {"S", "E:\\Folder", ".dot", false},      {"RHS", "E:\\Folder", "plain.txt", false},
            {"H", "E:\\Folder", "gone.txt", true},   {"R", "E:\\Folder", "gone.txt", true},
            {"S", "E:\\Folder", "gone.txt", true},   {"", "E:\\Folder", "gone.txt", false},
            {"", "E:\\Folder", ".dot", false},       {"RHS-", "E:\\Folder", "gone.txt", false},
        };
        for (const TAttributeCase &c : cases) {
            QTest::addRow("[%s] %s %s", c.flags, c.path, c.fileName)
                << QString::fromLatin1(c.flags) << QString::fromLatin1(c.path)
                << QString::fromLatin1(c.fileName) << c.excluded;
        }
    }
    void attributes()
    {
        QFETCH(QString, flags);
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(bool, excluded);
        test::TTestDrives drives;
        const QString folder = drives.Native('E', QStringLiteral("Folder"));
        QVERIFY(QDir().mkpath(folder));
        for (const char *name : {"plain.txt", ".dot", "listed.txt", "ro.txt"})
            WriteFile(folder + u'/' + QLatin1String(name));
        WriteFile(folder + QStringLiteral("/.hidden"), "listed.txt\n");
        QCOMPARE(::chmod(QFile::encodeName(folder + QStringLiteral("/ro.txt")).constData(), 0444), 0);

        TFileFilter filter;
        filter.SetReadOnly(flags.contains(u'R'));
        filter.SetHidden(flags.contains(u'H'));
        filter.SetSystem(flags.contains(u'S'));
        filter.SetChackFileAttributes(!flags.contains(u'-'));
        QCOMPARE(IsExcludedFile(filter, fileName, path), excluded);
    }

    // With every flag clear the file system is not asked at all.
    void systemAttributeAndReads_data()
    {
        QTest::addColumn<bool>("system");
        QTest::addColumn<bool>("excluded");
        QTest::addColumn<int>("reads");
        QTest::newRow("system flag") << true << true << 1;
        QTest::newRow("flags clear: nothing read") << false << false << 0;
    }
    void systemAttributeAndReads()
    {
        QFETCH(bool, system);
        QFETCH(bool, excluded);
        QFETCH(int, reads);
        test::TTestDrives drives;
        WriteFile(drives.Native('E', QStringLiteral("plain.txt")));
        TSystemFat fat;
        TFileFilter filter;
        filter.SetSystem(system);
        QCOMPARE(IsExcludedFile(filter, QStringLiteral("plain.txt"), QStringLiteral("E:")), excluded);
        QCOMPARE(fat.Reads, reads);
    }

    void assign()
    {
        TFileFilter source;
        source.SetHidden(true);
        source.SetReadOnly(true);
        source.SetExcludeFileExtList({QStringLiteral(".tmp"), QStringLiteral(".bak")});
        source.SetExcludeMaskList({QStringLiteral("~*.doc")});
        source.SetChackFileAttributes(false);
        TFileFilter target;
        target.SetSystem(true);
        target.SetExcludeMaskList({QStringLiteral("old")});
        target.Assign(&source);
        QCOMPARE(
            QList<bool>({target.Hidden(), target.System(), target.ReadOnly(), target.ChackFileAttributes()}),
            QList<bool>({true, false, true, true}));
        QCOMPARE(target.ExcludeFileExtList(), QStringList({".tmp", ".bak"}));
        QCOMPARE(target.ExcludeMaskList(), QStringList({"~*.doc"}));

        QObject other;
        try {
            target.Assign(&other);
            QFAIL("no error raised");
        } catch (const EConvertError &error) {
            QCOMPARE(error.Message(), QStringLiteral("Cannot assign a QObject to a TFileFilter"));
        }
        QVERIFY(target.Hidden());
        QVERIFY_THROWS_EXCEPTION(EConvertError, target.Assign(nullptr));
    }

    void agreesWithRecursiveRule()
    {
        QRandomGenerator random(20240611);
        int matches = 0;
        for (int n = 0; n < 4000; ++n) {
            const QString pattern = RandomText(random, u"ab.*?", random.bounded(7));
            const QString name = RandomName(random, pattern);
            const bool expected = ReferenceMatch(pattern, 0, name, 0);
            if (TFileFilter::MatchesMask(pattern, name) != expected)
                QFAIL(qPrintable(QStringLiteral("pattern \"%1\" name \"%2\"").arg(pattern, name)));
            matches += expected;
        }
        QVERIFY2(matches > 800 && matches < 3200, "too few matches or misses to compare anything");
    }

    // The recursive form would never finish these.
    void manyStars_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        const QString stars(30, u'*');
        const QString name(200, u'a');
        QTest::newRow("stars then a missing letter") << stars + u'b' << name << false;
        QTest::newRow("stars cover the name") << stars << name << true;
        QTest::newRow("a dot at the end") << stars << name + u'.' << false;
        QTest::newRow("more stars than letters") << QString(201, u'*') << name << false;
    }
    void manyStars()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(TFileFilter::MatchesMask(pattern, name), matches);
    }
};

QTEST_GUILESS_MAIN(TestFileFilter)
#include "tst_filefilter.moc"
