// Feeds arbitrary bytes to every reader of persisted records: the container
// form, the raw object stream, the generic parse with its JSON view, and the
// JSON view applied back to a record.
#include "base/Exceptions.h"
#include "model/Collection.h"
#include "model/ObjectStream.h"
#include "model/RecordJson.h"
#include "model/RecordRegistry.h"
#include "model/SaveLoadComponent.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace trovalo::fuzz {
Q_NAMESPACE

enum TFuzzMode { fmFirst, fmSecond, fmThird };
Q_ENUM_NS(TFuzzMode)
enum TFuzzDay { fdMonday = 1, fdTuesday = 2, fdSunday = 64 };
Q_DECLARE_FLAGS(TFuzzDays, TFuzzDay)
Q_FLAG_NS(TFuzzDays)

class TFuzzFilter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Hidden MEMBER Hidden)
    Q_CLASSINFO("default:Hidden", "false")
    Q_PROPERTY(QStringList Masks MEMBER Masks)

public:
    bool Hidden = false;
    QStringList Masks;
};

class TFuzzItem : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER Name)
    Q_PROPERTY(double When MEMBER When)
    Q_PROPERTY(QStringList Paths MEMBER Paths)
    Q_PROPERTY(trovalo::fuzz::TFuzzFilter *Filter READ GetFilter)

public:
    TFuzzFilter *GetFilter() const { return const_cast<TFuzzFilter *>(&Filter); }
    QString Name;
    double When = 0;
    QStringList Paths;
    TFuzzFilter Filter;
};

class TFuzzItems : public TCollection
{
    Q_OBJECT

protected:
    std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<TFuzzItem>(); }
};

class TFuzzRecord : public TSaveLoadComponent
{
    Q_OBJECT
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(bool Enabled MEMBER Enabled)
    Q_CLASSINFO("default:Enabled", "true")
    Q_PROPERTY(qint8 Small MEMBER Small)
    Q_PROPERTY(quint8 Every MEMBER Every)
    Q_CLASSINFO("default:Every", "1")
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(qint64 Size MEMBER Size)
    Q_PROPERTY(double When MEMBER When)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(trovalo::fuzz::TFuzzMode Mode MEMBER Mode)
    Q_PROPERTY(trovalo::fuzz::TFuzzDays Days MEMBER Days)
    Q_CLASSINFO("default:Days", "[]")
    Q_PROPERTY(QStringList Folders MEMBER Folders)
    Q_PROPERTY(trovalo::fuzz::TFuzzFilter *Filter READ GetFilter)
    Q_PROPERTY(trovalo::fuzz::TFuzzItems *Items READ GetItems)

public:
    TFuzzFilter *GetFilter() const { return const_cast<TFuzzFilter *>(&Filter); }
    TFuzzItems *GetItems() const { return const_cast<TFuzzItems *>(&Items); }

    bool Flag = false;
    bool Enabled = true;
    qint8 Small = 0;
    quint8 Every = 1;
    int Count = 0;
    qint64 Size = 0;
    double When = 0;
    QString Caption;
    TFuzzMode Mode = fmFirst;
    TFuzzDays Days;
    QStringList Folders;
    TFuzzFilter Filter;
    TFuzzItems Items;
};

} // namespace trovalo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace trovalo;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // Whatever loads must save again without complaint.
    fuzz::TFuzzRecord container;
    container.LoadFromBytes(bytes);
    container.ToObjectStream();

    fuzz::TFuzzRecord raw;
    try {
        raw.ReadObjectStream(bytes);
    } catch (const EStreamError &) {
    }
    raw.ToObjectStream();

    // The real job records, read from the raw stream the way a damaged job
    // file reaches them.
    for (const char *className :
         {"TArchiveData", "TSyncData", "TPCSyncData", "TProgramData", "TDiskConfigFile"}) {
        const std::unique_ptr<TSaveLoadComponent> record =
            CreateRecord(QString::fromLatin1(className), QString());
        try {
            record->ReadObjectStream(bytes);
        } catch (const EStreamError &) {
        }
        record->ToObjectStream();
    }

    const QByteArray json = RecordToJson(ParseObjectStream(bytes));
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (document.isNull())
        __builtin_trap(); // the view must always be valid JSON
    fuzz::TFuzzRecord edited;
    try {
        JsonToRecord(document.object().value(QLatin1String("properties")).toObject(), edited);
        edited.ToObjectStream();
    } catch (const EStreamError &) {
    }
    return 0;
}

#include "fuzz_object_stream.moc"
