#include "base/Exceptions.h"
#include "model/Collection.h"

#include <QTest>

using namespace trovalo;

namespace {

class TNamedItem : public TMyCollectionItem
{
    Q_OBJECT

public:
    QString Name;
};

class TNamedItems : public TMyCollection
{
    Q_OBJECT

public:
    TNamedItem *Add(const QString &name)
    {
        auto *item = static_cast<TNamedItem *>(AddItem());
        item->Name = name;
        return item;
    }
    TNamedItem *At(int index) const { return static_cast<TNamedItem *>(Item(index)); }
    QString Names() const
    {
        QString names;
        for (int i = 0; i < Count(); ++i)
            names += At(i)->Name;
        return names;
    }

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<TNamedItem>(); }
};

void ExpectRefusal(const std::function<void()> &action, const QString &message)
{
    try {
        action();
        QFAIL("no error raised");
    } catch (const ECollectonException &error) {
        QCOMPARE(error.Message(), message);
    }
}

} // namespace

class TestCollection : public QObject
{
    Q_OBJECT

private slots:
    void addInsertAndIndex()
    {
        TNamedItems items;
        items.Add("a");
        items.Add("c");
        static_cast<TNamedItem *>(items.InsertItem(1))->Name = "b";
        static_cast<TNamedItem *>(items.InsertItem(0))->Name = "0";
        QCOMPARE(items.Names(), QStringLiteral("0abc"));
        QCOMPARE(items.At(2)->Index(), 2);
        QCOMPARE(items.At(2)->Collection(), &items);
        QCOMPARE(items.ItemIndex(items.At(3)), 3);
        QVERIFY_THROWS_EXCEPTION(ECollectonException, items.InsertItem(6));
        QVERIFY_THROWS_EXCEPTION(ECollectonException, items.Delete(4));
    }

    void firstAndLast_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("first");
        QTest::addColumn<bool>("last");
        QTest::newRow("only item") << 1 << 0 << true << true;
        QTest::newRow("first of three") << 3 << 0 << true << false;
        QTest::newRow("middle") << 3 << 1 << false << false;
        QTest::newRow("last of three") << 3 << 2 << false << true;
    }
    void firstAndLast()
    {
        QFETCH(int, count);
        QFETCH(int, index);
        TNamedItems items;
        for (int i = 0; i < count; ++i)
            items.Add(QString::number(i));
        QTEST(items.At(index)->IsFirst(), "first");
        QTEST(items.At(index)->IsLast(), "last");
    }

    void moves_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("after");
        QTest::newRow("up from the middle") << 1 << "up"
                                            << "bacd";
        QTest::newRow("up from the top stays") << 0 << "up"
                                               << "abcd";
        QTest::newRow("down from the middle") << 2 << "down"
                                              << "abdc";
        QTest::newRow("down from the bottom stays") << 3 << "down"
                                                    << "abcd";
        QTest::newRow("to the end") << 0 << "to 3"
                                    << "bcda";
        QTest::newRow("to the front") << 3 << "to 0"
                                      << "dabc";
        QTest::newRow("delete first") << 0 << "delete"
                                      << "bcd";
        QTest::newRow("delete last") << 3 << "delete"
                                     << "abc";
    }
    void moves()
    {
        QFETCH(int, index);
        QFETCH(QString, operation);
        TNamedItems items;
        for (const char *name : {"a", "b", "c", "d"})
            items.Add(name);
        TNamedItem *item = items.At(index);
        if (operation == "up")
            item->MoveUp();
        else if (operation == "down")
            item->MoveDown();
        else if (operation == "delete")
            item->Delete();
        else
            items.MoveItem(item, operation.mid(3).toInt());
        QTEST(items.Names(), "after");
    }

    void itemsElsewhereAreRefused()
    {
        TNamedItems mine, theirs;
        mine.Add("a");
        TNamedItem *foreign = theirs.Add("x");
        const QString notHere = QStringLiteral("Item not belong to this Collection");
        ExpectRefusal([&] { mine.ItemIndex(foreign); }, notHere);
        ExpectRefusal([&] { mine.DeleteItem(foreign); }, notHere);
        ExpectRefusal([&] { mine.MoveItem(foreign, 0); }, notHere);
        ExpectRefusal([&] { mine.ItemIndex(nullptr); }, notHere);
        QCOMPARE(theirs.Count(), 1);

        TNamedItem loose;
        const QString noCollection = QStringLiteral("Item not in a collection");
        QCOMPARE(loose.Index(), -1);
        ExpectRefusal([&] { loose.IsFirst(); }, noCollection);
        ExpectRefusal([&] { loose.IsLast(); }, noCollection);
        ExpectRefusal([&] { loose.MoveUp(); }, noCollection);
        ExpectRefusal([&] { loose.MoveDown(); }, noCollection);
        ExpectRefusal([&] { loose.Delete(); }, noCollection);
    }

    void clearAndDelete()
    {
        TNamedItems items;
        items.Add("a");
        items.Add("b");
        items.Delete(0);
        QCOMPARE(items.Names(), QStringLiteral("b"));
        items.Clear();
        QCOMPARE(items.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCollection)
#include "tst_collection.moc"
