#include "model/PropertyTarget.h"

#include "base/Exceptions.h"
#include "model/Collection.h"

#include <cstring>
#include <limits>

namespace trovalo {

namespace {

TPropertyKind KindOf(const QMetaProperty &property, const QMetaObject &owner)
{
    if (property.isEnumType())
        return property.isFlagType() ? TPropertyKind::Set : TPropertyKind::Enumeration;
    const QMetaType type = property.metaType();
    switch (type.id()) {
    case QMetaType::Bool:
        return TPropertyKind::Boolean;
    case QMetaType::SChar:
        return TPropertyKind::Int8;
    case QMetaType::UChar:
        return TPropertyKind::UInt8;
    case QMetaType::Int:
        return TPropertyKind::Int32;
    case QMetaType::LongLong:
        return TPropertyKind::Int64;
    case QMetaType::Double:
        return TPropertyKind::Float;
    case QMetaType::QString:
        return TPropertyKind::Text;
    case QMetaType::QStringList:
        return TPropertyKind::StringList;
    default:
        break;
    }
    if ((type.flags() & QMetaType::PointerToQObject) && type.metaObject())
        return type.metaObject()->inherits(&TCollection::staticMetaObject) ? TPropertyKind::Collection
                                                                           : TPropertyKind::Object;
    throw EStreamError(QStringLiteral("Property \"%1\" of %2 has the type %3, which a record cannot store")
                           .arg(QString::fromLatin1(property.name()), QString::fromLatin1(owner.className()),
                                QString::fromLatin1(type.name())));
}

bool IsObjectPointer(const QMetaProperty &property)
{
    return property.metaType().flags() & QMetaType::PointerToQObject;
}

QMetaProperty FindStored(const QMetaObject &metaObject, const QString &name)
{
    for (const QMetaProperty &property : TPropertyTarget::StoredProperties(metaObject))
        if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) == 0)
            return property;
    return {};
}

QStringList EnumKeys(const QMetaEnum &enumerator)
{
    QStringList keys;
    for (int i = 0; i < enumerator.keyCount(); ++i)
        keys << QString::fromLatin1(enumerator.key(i));
    return keys;
}

} // namespace

TPropertyTarget::TPropertyTarget(QObject &object, const QMetaProperty &property, const QString &path)
    : FObject(&object)
    , FProperty(property)
    , FPath(path)
    , FKind(KindOf(property, *object.metaObject()))
{}

QList<QMetaProperty> TPropertyTarget::StoredProperties(const QMetaObject &metaObject)
{
    QList<QMetaProperty> properties;
    for (int i = QObject::staticMetaObject.propertyCount(); i < metaObject.propertyCount(); ++i) {
        const QMetaProperty property = metaObject.property(i);
        // Checked here so that a class cannot store what it could not read back.
        if (property.isWritable() || IsObjectPointer(property)) {
            KindOf(property, metaObject);
            properties << property;
        }
    }
    return properties;
}

TPropertyTarget TPropertyTarget::Resolve(QObject &root, const QString &name)
{
    const QStringList steps = name.split(QLatin1Char('.'));
    QObject *object = &root;
    QString path;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QMetaProperty property = FindStored(*object->metaObject(), steps[i]);
        if (!property.isValid())
            break;
        path += (path.isEmpty() ? QString() : QStringLiteral(".")) + QString::fromLatin1(property.name());
        TPropertyTarget target(*object, property, path);
        const bool last = i == steps.size() - 1;
        if (target.Kind() == TPropertyKind::StringList) {
            if (i == steps.size() - 2 &&
                steps.last().compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0)
                return target;
            break;
        }
        if (last)
            return target;
        if (target.Kind() != TPropertyKind::Object && target.Kind() != TPropertyKind::Collection)
            break;
        object = target.Object();
        if (!object)
            target.Fail(QStringLiteral("the object is missing"));
    }
    throw EStreamError(
        QStringLiteral("%1 has no property \"%2\"")
            .arg(QString::fromLatin1(root.metaObject()->className()).section(QStringLiteral("::"), -1),
                 name));
}

void TPropertyTarget::Fail(const QString &what) const
{
    throw EStreamError(QStringLiteral("Property \"%1\": %2").arg(FPath, what));
}

QString TPropertyTarget::Expected() const
{
    switch (FKind) {
    case TPropertyKind::Boolean:
        return QStringLiteral("a Boolean");
    case TPropertyKind::Int8:
        return QStringLiteral("an integer from -128 to 127");
    case TPropertyKind::UInt8:
        return QStringLiteral("an integer from 0 to 255");
    case TPropertyKind::Int32:
        return QStringLiteral("an integer from -2147483648 to 2147483647");
    case TPropertyKind::Int64:
        return QStringLiteral("a 64-bit integer");
    case TPropertyKind::Float:
        return QStringLiteral("a number");
    case TPropertyKind::Text:
        return QStringLiteral("a text");
    case TPropertyKind::Enumeration:
        return QStringLiteral("one of %1").arg(EnumKeys(FProperty.enumerator()).join(QStringLiteral(", ")));
    case TPropertyKind::Set:
        return QStringLiteral("a set of %1").arg(EnumKeys(FProperty.enumerator()).join(QStringLiteral(", ")));
    case TPropertyKind::StringList:
        return QStringLiteral("a list of texts");
    case TPropertyKind::Object:
        return QStringLiteral("its properties one by one, as \"%1.<Name>\"").arg(FPath);
    case TPropertyKind::Collection:
        return QStringLiteral("a collection of items");
    }
    return {};
}

qint64 TPropertyTarget::RawEnum() const
{
    // Enumerations and flags are stored by value in variants of their own
    // type; read the underlying integer by its size.
    const QVariant value = FProperty.read(FObject);
    const qsizetype size = value.metaType().sizeOf();
    const bool isUnsigned = value.metaType().flags() & QMetaType::IsUnsignedEnumeration;
    if (size == 1)
        return isUnsigned ? qint64(*static_cast<const quint8 *>(value.constData()))
                          : qint64(*static_cast<const qint8 *>(value.constData()));
    if (size == 2)
        return isUnsigned ? qint64(*static_cast<const quint16 *>(value.constData()))
                          : qint64(*static_cast<const qint16 *>(value.constData()));
    if (size == 4)
        return isUnsigned ? qint64(*static_cast<const quint32 *>(value.constData()))
                          : qint64(*static_cast<const qint32 *>(value.constData()));
    if (size == 8)
        return *static_cast<const qint64 *>(value.constData());
    Fail(QStringLiteral("an enumeration of %1 bytes is not supported").arg(size));
}

void TPropertyTarget::SetRawEnum(qint64 value) const
{
    const QMetaType type = FProperty.metaType();
    const qsizetype size = type.sizeOf();
    if (size != 1 && size != 2 && size != 4 && size != 8)
        Fail(QStringLiteral("an enumeration of %1 bytes is not supported").arg(size));
    unsigned char buffer[8] = {};
    // Little-endian hosts only (as the whole stream); the low bytes hold it.
    std::memcpy(buffer, &value, static_cast<size_t>(size));
    Write(QVariant(type, buffer));
}

void TPropertyTarget::Write(const QVariant &value) const
{
    if (!FProperty.write(FObject, value))
        Fail(QStringLiteral("the value cannot be set"));
}

int TPropertyTarget::EnumValue(const QString &name) const
{
    const QMetaEnum enumerator = FProperty.enumerator();
    for (int i = 0; i < enumerator.keyCount(); ++i)
        if (name.compare(QLatin1String(enumerator.key(i)), Qt::CaseInsensitive) == 0)
            return enumerator.value(i);
    Fail(QStringLiteral("\"%1\" is not %2").arg(name, Expected()));
}

qint64 TPropertyTarget::ParseDefault(const QByteArray &text) const
{
    const QString value = QString::fromLatin1(text).trimmed();
    bool ok = true;
    qint64 result = 0;
    switch (FKind) {
    case TPropertyKind::Boolean:
        ok = value == QLatin1String("true") || value == QLatin1String("false");
        result = value == QLatin1String("true");
        break;
    case TPropertyKind::Enumeration:
        result = EnumValue(value);
        break;
    case TPropertyKind::Set:
        ok = value.startsWith(QLatin1Char('[')) && value.endsWith(QLatin1Char(']'));
        for (const QString &name : value.mid(1, value.size() - 2).split(QLatin1Char(','), Qt::SkipEmptyParts))
            result |= EnumValue(name.trimmed());
        break;
    default:
        result = value.toLongLong(&ok);
        break;
    }
    if (!ok)
        Fail(QStringLiteral("the declared default \"%1\" is not %2").arg(value, Expected()));
    return result;
}

bool TPropertyTarget::HasDefaultValue() const
{
    const QMetaObject *metaObject = FObject->metaObject();
    const int index =
        metaObject->indexOfClassInfo(QByteArray("default:").append(FProperty.name()).constData());
    if (index < 0)
        return false;
    const qint64 declared = ParseDefault(metaObject->classInfo(index).value());
    switch (FKind) {
    case TPropertyKind::Boolean:
        return Boolean() == (declared != 0);
    case TPropertyKind::Int8:
    case TPropertyKind::UInt8:
    case TPropertyKind::Int32:
        return Integer() == declared;
    case TPropertyKind::Enumeration:
    case TPropertyKind::Set:
        return RawEnum() == declared;
    default:
        return false; // the other kinds are stored when not zero or empty
    }
}

bool TPropertyTarget::Boolean() const
{
    return FProperty.read(FObject).toBool();
}

qint64 TPropertyTarget::Integer() const
{
    return FProperty.read(FObject).toLongLong();
}

double TPropertyTarget::Float() const
{
    return FProperty.read(FObject).toDouble();
}

QString TPropertyTarget::Text() const
{
    return FProperty.read(FObject).toString();
}

QString TPropertyTarget::EnumName() const
{
    const qint64 value = RawEnum();
    const char *key = FProperty.enumerator().valueToKey(static_cast<int>(value));
    if (!key || value != static_cast<int>(value))
        Fail(QStringLiteral("the value %1 has no name in %2")
                 .arg(value)
                 .arg(QString::fromLatin1(FProperty.enumerator().name())));
    return QString::fromLatin1(key);
}

QStringList TPropertyTarget::SetNames() const
{
    const quint64 value = static_cast<quint64>(RawEnum());
    QStringList names;
    for (int bit = 0; bit < 64; ++bit) {
        if (!(value & (quint64(1) << bit)))
            continue;
        const char *key = bit < 32 ? FProperty.enumerator().valueToKey(static_cast<int>(1u << bit)) : nullptr;
        if (!key)
            Fail(QStringLiteral("bit %1 of the set has no name in %2")
                     .arg(bit)
                     .arg(QString::fromLatin1(FProperty.enumerator().name())));
        names << QString::fromLatin1(key);
    }
    return names;
}

QStringList TPropertyTarget::Strings() const
{
    return FProperty.read(FObject).toStringList();
}

QObject *TPropertyTarget::Object() const
{
    return FProperty.read(FObject).value<QObject *>();
}

TCollection *TPropertyTarget::Collection() const
{
    return qobject_cast<TCollection *>(Object());
}

void TPropertyTarget::SetBoolean(bool value) const
{
    if (FKind != TPropertyKind::Boolean)
        Fail(QStringLiteral("expected %1, got a Boolean").arg(Expected()));
    Write(value);
}

void TPropertyTarget::SetInteger(qint64 value) const
{
    auto inRange = [value](auto type) {
        using T = decltype(type);
        return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
    };
    switch (FKind) {
    case TPropertyKind::Int8:
        if (inRange(qint8()))
            return Write(QVariant::fromValue(static_cast<qint8>(value)));
        break;
    case TPropertyKind::UInt8:
        if (inRange(quint8()))
            return Write(QVariant::fromValue(static_cast<quint8>(value)));
        break;
    case TPropertyKind::Int32:
        if (inRange(qint32()))
            return Write(QVariant::fromValue(static_cast<int>(value)));
        break;
    case TPropertyKind::Int64:
        return Write(QVariant::fromValue(value));
    case TPropertyKind::Float:
        return Write(static_cast<double>(value));
    default:
        break;
    }
    Fail(QStringLiteral("expected %1, got the integer %2").arg(Expected()).arg(value));
}

void TPropertyTarget::SetFloat(double value) const
{
    if (FKind != TPropertyKind::Float)
        Fail(QStringLiteral("expected %1, got a floating-point number").arg(Expected()));
    Write(value);
}

void TPropertyTarget::SetText(const QString &value) const
{
    if (FKind != TPropertyKind::Text)
        Fail(QStringLiteral("expected %1, got a text").arg(Expected()));
    Write(value);
}

void TPropertyTarget::SetEnumName(const QString &name) const
{
    if (FKind == TPropertyKind::Boolean) {
        // Booleans are an enumeration of False and True to the stream.
        if (name.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return SetBoolean(true);
        if (name.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return SetBoolean(false);
    }
    if (FKind != TPropertyKind::Enumeration)
        Fail(QStringLiteral("expected %1, got the name \"%2\"").arg(Expected(), name));
    SetRawEnum(EnumValue(name));
}

void TPropertyTarget::SetSetNames(const QStringList &names) const
{
    if (FKind != TPropertyKind::Set)
        Fail(QStringLiteral("expected %1, got a set").arg(Expected()));
    qint64 value = 0;
    for (const QString &name : names)
        value |= EnumValue(name);
    SetRawEnum(value);
}

void TPropertyTarget::SetStrings(const QStringList &value) const
{
    if (FKind != TPropertyKind::StringList)
        Fail(QStringLiteral("expected %1, got a list of texts").arg(Expected()));
    Write(value);
}

} // namespace trovalo
