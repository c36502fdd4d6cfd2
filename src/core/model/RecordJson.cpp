#include "model/RecordJson.h"

#include "base/Exceptions.h"
#include "model/Collection.h"
#include "model/PropertyTarget.h"
#include "model/SaveLoadComponent.h"

#include <QJsonArray>
#include <QLocale>

#include <cmath>

namespace trovalo {

namespace {

// A small pretty-printer: QJsonObject would sort the keys, and the order of
// a stream is part of what the view shows.
class TJsonEmitter
{
public:
    QByteArray Result() const { return FOut; }

    void Text(const QString &text)
    {
        FOut += '"';
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c == '"' || c == '\\') {
                FOut += '\\';
                FOut += static_cast<char>(c);
            } else if (c == '\n') {
                FOut += "\\n";
            } else if (c == '\r') {
                FOut += "\\r";
            } else if (c == '\t') {
                FOut += "\\t";
            } else if (c < 0x20 || (QChar::isSurrogate(c) && !IsPairAt(text, i))) {
                FOut += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')).toLatin1();
            } else if (QChar::isHighSurrogate(c)) {
                FOut += text.mid(i, 2).toUtf8();
                ++i;
            } else {
                FOut += QString(QChar(c)).toUtf8();
            }
        }
        FOut += '"';
    }

    void Raw(const QByteArray &token) { FOut += token; }

    void Float(double value)
    {
        if (std::isnan(value))
            Text(QStringLiteral("NaN"));
        else if (std::isinf(value))
            Text(value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity"));
        else
            Raw(QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1());
    }

    // Containers: Open, then Next before each member, then Close.
    void Open(char bracket)
    {
        FOut += bracket;
        FFirst.push_back(true);
    }
    void Next()
    {
        if (!FFirst.back())
            FOut += ',';
        FFirst.back() = false;
        NewLine(FFirst.size());
    }
    void Key(const QString &key)
    {
        Next();
        Text(key);
        FOut += ": ";
    }
    void Close(char bracket)
    {
        const bool empty = FFirst.back();
        FFirst.pop_back();
        if (!empty)
            NewLine(FFirst.size());
        FOut += bracket;
    }

private:
    static bool IsPairAt(const QString &text, qsizetype i)
    {
        return QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size() &&
               QChar::isLowSurrogate(text[i + 1].unicode());
    }
    void NewLine(size_t depth)
    {
        FOut += '\n';
        FOut += QByteArray(static_cast<qsizetype>(2 * depth), ' ');
    }

    QByteArray FOut;
    std::vector<bool> FFirst;
};

void EmitProperties(TJsonEmitter &json, const std::vector<TStreamProperty> &properties);

// Ten-thousandths as an exact decimal.
QByteArray CurrencyText(qint64 value)
{
    const bool negative = value < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
    QByteArray text = QByteArray::number(magnitude / 10000);
    if (const quint64 fraction = magnitude % 10000) {
        QByteArray digits = QByteArray::number(fraction).rightJustified(4, '0');
        while (digits.endsWith('0'))
            digits.chop(1);
        text += '.' + digits;
    }
    return negative ? '-' + text : text;
}

void EmitValue(TJsonEmitter &json, const TStreamValue &value)
{
    switch (value.Type) {
    case vaNull:
    case vaNil:
        json.Raw("null");
        break;
    case vaFalse:
    case vaTrue:
        json.Raw(value.Type == vaTrue ? "true" : "false");
        break;
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64:
        json.Raw(QByteArray::number(value.Integer));
        break;
    case vaCurrency:
        json.Raw(CurrencyText(value.Integer));
        break;
    case vaExtended:
    case vaSingle:
    case vaDate:
    case vaDouble:
        json.Float(value.Float);
        break;
    case vaString:
    case vaLString:
    case vaWString:
    case vaUTF8String:
    case vaIdent:
        json.Text(value.Text);
        break;
    case vaBinary:
        json.Text(QString::fromLatin1(value.Binary.toBase64()));
        break;
    case vaSet:
        json.Open('[');
        for (const QString &name : value.Names) {
            json.Next();
            json.Text(name);
        }
        json.Close(']');
        break;
    case vaList:
        json.Open('[');
        for (const TStreamValue &entry : value.List) {
            json.Next();
            EmitValue(json, entry);
        }
        json.Close(']');
        break;
    case vaCollection:
        json.Open('[');
        for (const std::vector<TStreamProperty> &item : value.Items) {
            json.Next();
            EmitProperties(json, item);
        }
        json.Close(']');
        break;
    }
}

void EmitProperties(TJsonEmitter &json, const std::vector<TStreamProperty> &properties)
{
    json.Open('{');
    for (const TStreamProperty &property : properties) {
        json.Key(property.Name);
        EmitValue(json, property.Value);
    }
    json.Close('}');
}

QString JsonTypeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a Boolean");
    case QJsonValue::Double:
        return QStringLiteral("the number %1").arg(value.toDouble());
    case QJsonValue::String:
        return QStringLiteral("the text \"%1\"").arg(value.toString());
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

[[noreturn]] void Refuse(const TPropertyTarget &target, const QJsonValue &value)
{
    target.Fail(QStringLiteral("expected %1, got %2").arg(target.Expected(), JsonTypeName(value)));
}

std::optional<qint64> WholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // Integers keep all 64 bits in a parsed document; other numbers are doubles.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(number);
}

QStringList Texts(const TPropertyTarget &target, const QJsonValue &value)
{
    if (!value.isArray())
        Refuse(target, value);
    QStringList texts;
    for (const QJsonValue entry : value.toArray()) {
        if (!entry.isString())
            target.Fail(QStringLiteral("expected %1, found %2 in the array")
                            .arg(target.Expected(), JsonTypeName(entry)));
        texts << entry.toString();
    }
    return texts;
}

void ApplyJson(QObject &object, const QJsonObject &properties);

void ApplyJsonValue(const TPropertyTarget &target, const QJsonValue &value)
{
    switch (target.Kind()) {
    case TPropertyKind::Boolean:
        if (value.isBool())
            return target.SetBoolean(value.toBool());
        break;
    case TPropertyKind::Int8:
    case TPropertyKind::UInt8:
    case TPropertyKind::Int32:
    case TPropertyKind::Int64:
        if (const std::optional<qint64> number = WholeNumber(value))
            return target.SetInteger(*number);
        break;
    case TPropertyKind::Float:
        if (value.isDouble())
            return target.SetFloat(value.toDouble());
        if (value == QLatin1String("NaN") || value == QLatin1String("Infinity") ||
            value == QLatin1String("-Infinity"))
            return target.SetFloat(value.toString().toDouble());
        break;
    case TPropertyKind::Text:
        if (value.isString())
            return target.SetText(value.toString());
        break;
    case TPropertyKind::Enumeration:
        if (value.isString())
            return target.SetEnumName(value.toString());
        break;
    case TPropertyKind::Set:
        return target.SetSetNames(Texts(target, value));
    case TPropertyKind::StringList:
        return target.SetStrings(Texts(target, value));
    case TPropertyKind::Collection:
        if (value.isArray()) {
            TCollection *collection = target.Collection();
            if (!collection)
                target.Fail(QStringLiteral("the collection is missing"));
            collection->Clear();
            for (const QJsonValue item : value.toArray()) {
                if (!item.isObject())
                    target.Fail(
                        QStringLiteral("expected an object for each item, found %1").arg(JsonTypeName(item)));
                ApplyJson(*collection->AddItem(), item.toObject());
            }
            return;
        }
        break;
    case TPropertyKind::Object:
        break;
    }
    Refuse(target, value);
}

void ApplyJson(QObject &object, const QJsonObject &properties)
{
    for (auto it = properties.begin(); it != properties.end(); ++it)
        ApplyJsonValue(TPropertyTarget::Resolve(object, it.key()), it.value());
}

} // namespace

QByteArray RecordToJson(const TStreamRecord &record)
{
    TJsonEmitter json;
    json.Open('{');
    json.Key(QStringLiteral("class"));
    json.Text(record.ClassName);
    json.Key(QStringLiteral("properties"));
    EmitProperties(json, std::vector<TStreamProperty>(record.Properties.begin(), record.Properties.end()));
    if (!record.Error.isEmpty()) {
        json.Key(QStringLiteral("error"));
        json.Text(record.Error);
    }
    json.Close('}');
    return json.Result() + '\n';
}

void JsonToRecord(const QJsonObject &properties, TSaveLoadComponent &record)
{
    ApplyJson(record, properties);
}

} // namespace trovalo
