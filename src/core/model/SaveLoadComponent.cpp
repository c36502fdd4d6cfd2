#include "model/SaveLoadComponent.h"

#include "base/Exceptions.h"
#include "model/Collection.h"
#include "model/ObjectStream.h"
#include "model/PropertyTarget.h"
#include "model/ZlibContainer.h"

#include <QIODevice>
#include <QUuid>

namespace trovalo {

namespace {

QString Dotted(const QString &prefix, const char *name)
{
    return prefix + QString::fromLatin1(name);
}

void WriteProperties(TObjectWriter &writer, QObject &object, const QString &prefix)
{
    for (const QMetaProperty &property : TPropertyTarget::StoredProperties(*object.metaObject())) {
        const TPropertyTarget target(object, property, Dotted(prefix, property.name()));
        switch (target.Kind()) {
        case TPropertyKind::Object:
            if (QObject *child = target.Object())
                WriteProperties(writer, *child, target.Path() + QLatin1Char('.'));
            continue;
        case TPropertyKind::Collection:
            if (TCollection *collection = target.Collection()) {
                WriteProperties(writer, *collection, target.Path() + QLatin1Char('.'));
                writer.WriteShortString(target.Path());
                writer.WriteTag(vaCollection);
                for (int i = 0; i < collection->Count(); ++i) {
                    writer.WriteTag(vaList);
                    WriteProperties(writer, *collection->Item(i), QString());
                    writer.WriteTag(vaNull);
                }
                writer.WriteTag(vaNull);
            }
            continue;
        case TPropertyKind::StringList: {
            const QStringList strings = target.Strings();
            if (strings.isEmpty())
                continue;
            writer.WriteShortString(target.Path() + QStringLiteral(".Strings"));
            writer.WriteTag(vaList);
            for (const QString &entry : strings)
                writer.WriteText(entry);
            writer.WriteTag(vaNull);
            continue;
        }
        case TPropertyKind::Int64:
            if (const qint64 value = target.Integer(); value != 0) {
                writer.WriteShortString(target.Path());
                writer.WriteInteger(value);
            }
            continue;
        case TPropertyKind::Float:
            if (const double value = target.Float(); value != 0) {
                writer.WriteShortString(target.Path());
                writer.WriteExtended(value);
            }
            continue;
        case TPropertyKind::Text:
            if (const QString value = target.Text(); !value.isEmpty()) {
                writer.WriteShortString(target.Path());
                writer.WriteText(value);
            }
            continue;
        case TPropertyKind::Boolean:
        case TPropertyKind::Int8:
        case TPropertyKind::UInt8:
        case TPropertyKind::Int32:
        case TPropertyKind::Enumeration:
        case TPropertyKind::Set:
            break;
        }
        if (target.HasDefaultValue())
            continue;
        writer.WriteShortString(target.Path());
        if (target.Kind() == TPropertyKind::Boolean)
            writer.WriteBoolean(target.Boolean());
        else if (target.Kind() == TPropertyKind::Enumeration)
            writer.WriteIdent(target.EnumName());
        else if (target.Kind() == TPropertyKind::Set)
            writer.WriteSet(target.SetNames());
        else
            writer.WriteInteger(target.Integer());
    }
}

[[noreturn]] void Refuse(const TPropertyTarget &target, const TStreamValue &value)
{
    target.Fail(QStringLiteral("expected %1, found %2").arg(target.Expected(), ValueTypeName(value.Type)));
}

void ApplyProperty(QObject &root, const TStreamProperty &property);

void ApplyValue(const TPropertyTarget &target, const TStreamValue &value)
{
    switch (target.Kind()) {
    case TPropertyKind::Boolean:
    case TPropertyKind::Enumeration:
        if (value.Type == vaIdent)
            return target.SetEnumName(value.Text);
        if (value.Type == vaFalse || value.Type == vaTrue)
            return target.SetEnumName(value.Type == vaTrue ? QStringLiteral("True")
                                                           : QStringLiteral("False"));
        break;
    case TPropertyKind::Int8:
    case TPropertyKind::UInt8:
    case TPropertyKind::Int32:
        if (value.IsInteger() && value.Type != vaInt64)
            return target.SetInteger(value.Integer);
        break;
    case TPropertyKind::Int64:
        if (value.IsInteger())
            return target.SetInteger(value.Integer);
        break;
    case TPropertyKind::Float:
        if (value.Type == vaExtended || value.Type == vaDouble)
            return target.SetFloat(value.Float);
        if (value.IsInteger())
            return target.SetInteger(value.Integer);
        break;
    case TPropertyKind::Text:
        if (value.IsText())
            return target.SetText(value.Text);
        break;
    case TPropertyKind::Set:
        if (value.Type == vaSet)
            return target.SetSetNames(value.Names);
        break;
    case TPropertyKind::StringList:
        if (value.Type == vaList) {
            QStringList strings;
            for (const TStreamValue &entry : value.List) {
                if (!entry.IsText())
                    Refuse(target, entry);
                strings << entry.Text;
            }
            return target.SetStrings(strings);
        }
        break;
    case TPropertyKind::Collection:
        if (value.Type == vaCollection) {
            TCollection *collection = target.Collection();
            if (!collection)
                target.Fail(QStringLiteral("the collection is missing"));
            // An empty item list leaves the collection as it was.
            if (value.Items.empty())
                return;
            collection->Clear();
            for (const std::vector<TStreamProperty> &item : value.Items) {
                TCollectionItem *added = collection->AddItem();
                for (const TStreamProperty &itemProperty : item)
                    ApplyProperty(*added, itemProperty);
            }
            return;
        }
        break;
    case TPropertyKind::Object:
        break;
    }
    Refuse(target, value);
}

void ApplyProperty(QObject &root, const TStreamProperty &property)
{
    ApplyValue(TPropertyTarget::Resolve(root, property.Name), property.Value);
}

} // namespace

TSaveLoadComponent::TSaveLoadComponent(QObject *parent)
    : QObject(parent)
    , FFileGUID(NewGuidText())
{}

TSaveLoadComponent::~TSaveLoadComponent() = default;

QString TSaveLoadComponent::NewGuidText()
{
    const QUuid uuid = QUuid::createUuid();
    return uuid.isNull() ? QString() : uuid.toString(QUuid::WithBraces).toUpper();
}

QByteArray TSaveLoadComponent::ToObjectStream() const
{
    TObjectWriter writer;
    writer.WriteSignature();
    writer.WriteShortString(QString::fromLatin1(metaObject()->className()).section(QStringLiteral("::"), -1));
    writer.WriteShortString(QString());
    // Reading properties through the meta-object needs a non-const object;
    // nothing is changed.
    WriteProperties(writer, const_cast<TSaveLoadComponent &>(*this), QString());
    writer.WriteTag(vaNull); // end of the properties
    writer.WriteTag(vaNull); // end of the (empty) child list
    return writer.Data();
}

void TSaveLoadComponent::ReadObjectStream(const QByteArray &objectStream)
{
    const TStreamRecord record = ParseObjectStream(objectStream);
    for (const TStreamProperty &property : record.Properties)
        ApplyProperty(*this, property);
    if (!record.Error.isEmpty())
        throw EStreamError(record.Error);
}

QByteArray TSaveLoadComponent::SaveToBytes() const
{
    return CompressContainer(ToObjectStream());
}

void TSaveLoadComponent::LoadFromBytes(const QByteArray &container)
{
    try {
        ReadObjectStream(InflateContainer(container));
    } catch (const EStreamError &) {
        // A damaged record loads as far as it goes; callers never see it.
    }
}

void TSaveLoadComponent::SaveToStream(QIODevice &stream) const
{
    const QByteArray bytes = SaveToBytes();
    if (stream.write(bytes) != bytes.size())
        throw EFileError(QStringLiteral("Cannot write the record: %1").arg(stream.errorString()));
}

void TSaveLoadComponent::LoadFromStream(QIODevice &stream)
{
    if (!stream.seek(0))
        return;
    LoadFromBytes(stream.read(MaxInflatedSize + 1));
}

void TSaveLoadComponent::LoadFromBlob(const std::optional<QByteArray> &blob)
{
    if (!blob)
        return;
    QByteArray objectStream;
    try {
        objectStream = InflateContainer(*blob);
    } catch (const EStreamError &) {
        // The older form of these blobs is the object stream itself.
        if (blob->isEmpty())
            return;
        objectStream = *blob;
    }
    // A blob that did inflate is a container; re-reading it uncompressed
    // could only fail on the signature, so its own error is the one raised.
    ReadObjectStream(objectStream);
}

} // namespace trovalo
