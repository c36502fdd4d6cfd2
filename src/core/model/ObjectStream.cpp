#include "model/ObjectStream.h"

#include "base/Exceptions.h"
#include "model/Extended80.h"

#include <bit>
#include <cstring>

namespace trovalo {

namespace {

const char Signature[] = "TPF0";
// Deep enough for any record (a collection item holding a list is depth 3).
constexpr int MaxNesting = 32;
// A record holds hundreds of values; a million costs ~150 MB at most.
constexpr qsizetype MaxValues = 1000000;

class TObjectReader
{
public:
    explicit TObjectReader(const QByteArray &data)
        : FData(data)
    {}

    void ReadSignature()
    {
        if (FData.size() < 4 || std::memcmp(FData.constData(), Signature, 4) != 0)
            Fail(QStringLiteral("the signature \"TPF0\" is missing"));
        FPosition = 4;
        // Optional prefix byte: upper four bits set; flag 2 means a child
        // position (an integer) follows.
        if (FPosition < FData.size() && (Byte(FPosition) & 0xF0) == 0xF0) {
            const quint8 flags = ReadByte() & 0x0F;
            if (flags & 2) {
                const TValueType tag = ReadTag();
                if (tag != vaInt8 && tag != vaInt16 && tag != vaInt32)
                    Fail(QStringLiteral("the prefix's position is %1, not an integer")
                             .arg(ValueTypeName(tag)));
                ReadPayload(tag, 0);
            }
        }
    }

    quint8 ReadByte()
    {
        if (FPosition >= FData.size())
            Fail(QStringLiteral("the data ends too early"));
        return Byte(FPosition++);
    }

    QString ReadShortString()
    {
        const quint8 length = ReadByte();
        return QString::fromUtf8(Take(length));
    }

    TValueType ReadTag()
    {
        const quint8 tag = ReadByte();
        if (tag > vaDouble)
            Fail(QStringLiteral("%1 is not a value tag").arg(tag));
        return static_cast<TValueType>(tag);
    }

    TStreamValue ReadValue(int depth)
    {
        const TValueType tag = ReadTag();
        if (tag == vaNull)
            Fail(QStringLiteral("an end marker stands where a value belongs"));
        return ReadPayload(tag, depth);
    }

    // Property records until the empty name.
    std::vector<TStreamProperty> ReadProperties(int depth, QList<TStreamProperty> *sink = nullptr)
    {
        std::vector<TStreamProperty> properties;
        for (;;) {
            QString name = ReadShortString();
            if (name.isEmpty())
                return properties;
            TStreamProperty property{std::move(name), ReadValue(depth)};
            if (sink)
                sink->append(std::move(property));
            else
                properties.push_back(std::move(property));
        }
    }

    [[noreturn]] void Fail(const QString &what) const
    {
        throw EStreamError(QStringLiteral("Damaged object stream at byte %1: %2").arg(FPosition).arg(what));
    }

private:
    quint8 Byte(qsizetype at) const { return static_cast<quint8>(FData.at(at)); }

    QByteArrayView Take(qint64 length)
    {
        if (length < 0 || length > FData.size() - FPosition)
            Fail(QStringLiteral("a length of %1 bytes runs past the end of the data").arg(length));
        const QByteArrayView bytes(FData.constData() + FPosition, static_cast<qsizetype>(length));
        FPosition += static_cast<qsizetype>(length);
        return bytes;
    }

    quint64 ReadUnsigned(int bytes)
    {
        const QByteArrayView raw = Take(bytes);
        quint64 value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | static_cast<quint8>(raw[i]);
        return value;
    }

    qint64 ReadSigned(int bytes)
    {
        const quint64 value = ReadUnsigned(bytes);
        const int unused = 64 - 8 * bytes;
        return static_cast<qint64>(value << unused) >> unused;
    }

    qint64 ReadLength() { return static_cast<qint64>(ReadUnsigned(4)); }

    void Count(int depth)
    {
        if (depth > MaxNesting)
            Fail(QStringLiteral("values are nested more than %1 levels deep").arg(MaxNesting));
        if (++FValues > MaxValues)
            Fail(QStringLiteral("more than %1 values").arg(MaxValues));
    }

    TStreamValue ReadPayload(TValueType tag, int depth)
    {
        Count(depth);
        TStreamValue value;
        value.Type = tag;
        switch (tag) {
        case vaNull:
        case vaNil:
        case vaFalse:
        case vaTrue:
            break;
        case vaInt8:
            value.Integer = ReadSigned(1);
            break;
        case vaInt16:
            value.Integer = ReadSigned(2);
            break;
        case vaInt32:
            value.Integer = ReadSigned(4);
            break;
        case vaInt64:
        case vaCurrency:
            value.Integer = ReadSigned(8);
            break;
        case vaExtended: {
            TExtended80 bytes;
            std::memcpy(bytes.data(), Take(10).data(), 10);
            value.Float = ExtendedToDouble(bytes);
            break;
        }
        case vaSingle:
            value.Float = std::bit_cast<float>(static_cast<quint32>(ReadUnsigned(4)));
            break;
        case vaDate:
        case vaDouble:
            value.Float = std::bit_cast<double>(ReadUnsigned(8));
            break;
        case vaString:
            value.Text = DecodeWindows1252(Take(ReadByte()));
            break;
        case vaLString:
            value.Text = DecodeWindows1252(Take(ReadLength()));
            break;
        case vaIdent:
            value.Text = QString::fromUtf8(Take(ReadByte()));
            break;
        case vaUTF8String:
            value.Text = QString::fromUtf8(Take(ReadLength()));
            break;
        case vaWString: {
            const QByteArrayView raw = Take(2 * ReadLength());
            value.Text.resize(raw.size() / 2);
            for (qsizetype i = 0; i < value.Text.size(); ++i)
                value.Text[i] = QChar(static_cast<char16_t>(static_cast<quint8>(raw[2 * i]) |
                                                            (static_cast<quint8>(raw[2 * i + 1]) << 8)));
            break;
        }
        case vaBinary:
            value.Binary = Take(ReadLength()).toByteArray();
            break;
        case vaSet:
            for (QString name = ReadShortString(); !name.isEmpty(); name = ReadShortString())
                value.Names << name;
            break;
        case vaList:
            for (TValueType inner = ReadTag(); inner != vaNull; inner = ReadTag())
                value.List.push_back(ReadPayload(inner, depth + 1));
            break;
        case vaCollection:
            for (TValueType inner = ReadTag(); inner != vaNull; inner = ReadTag()) {
                if (inner == vaInt8 || inner == vaInt16 || inner == vaInt32) {
                    ReadPayload(inner, depth + 1); // the item's index; not needed
                    inner = ReadTag();
                }
                if (inner != vaList)
                    Fail(QStringLiteral("a collection item starts with %1").arg(ValueTypeName(inner)));
                value.Items.push_back(ReadProperties(depth + 1));
            }
            break;
        }
        return value;
    }

    const QByteArray &FData;
    qsizetype FPosition = 0;
    qsizetype FValues = 0;
};

bool IsAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<quint8>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

QString ValueTypeName(int tag)
{
    static const char *const names[] = {
        "vaNull",    "vaList",  "vaInt8",       "vaInt16",  "vaInt32",    "vaExtended",
        "vaString",  "vaIdent", "vaFalse",      "vaTrue",   "vaBinary",   "vaSet",
        "vaLString", "vaNil",   "vaCollection", "vaSingle", "vaCurrency", "vaDate",
        "vaWString", "vaInt64", "vaUTF8String", "vaDouble"};
    if (tag < 0 || tag > vaDouble)
        return QStringLiteral("tag %1").arg(tag);
    return QString::fromLatin1(names[tag]);
}

QString DecodeWindows1252(QByteArrayView bytes)
{
    // 0x80..0x9F; the five undefined bytes keep their C1 control code point.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 c = static_cast<quint8>(bytes[i]);
        text[i] = QChar(c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c));
    }
    return text;
}

TStreamRecord ParseObjectStream(const QByteArray &data)
{
    TStreamRecord record;
    TObjectReader reader(data);
    try {
        reader.ReadSignature();
        record.ClassName = reader.ReadShortString();
        reader.ReadShortString(); // object name, empty for records
        reader.ReadProperties(0, &record.Properties);
        if (reader.ReadByte() != 0)
            reader.Fail(QStringLiteral("a record cannot hold child objects"));
    } catch (const EStreamError &error) {
        record.Error = error.Message();
    }
    return record;
}

void TObjectWriter::WriteSignature()
{
    FData.append(Signature, 4);
}

void TObjectWriter::WriteShortString(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > 255)
        throw EStreamError(QStringLiteral("The name \"%1\" is longer than 255 bytes").arg(text));
    FData.append(static_cast<char>(utf8.size()));
    FData.append(utf8);
}

void TObjectWriter::WriteTag(TValueType tag)
{
    FData.append(static_cast<char>(tag));
}

void TObjectWriter::WriteLittleEndian(quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        FData.append(static_cast<char>(value >> (8 * i)));
}

void TObjectWriter::WriteInteger(qint64 value)
{
    if (value >= -128 && value <= 127) {
        WriteTag(vaInt8);
        WriteLittleEndian(static_cast<quint64>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
        WriteTag(vaInt16);
        WriteLittleEndian(static_cast<quint64>(value), 2);
    } else if (value >= INT32_MIN && value <= INT32_MAX) {
        WriteTag(vaInt32);
        WriteLittleEndian(static_cast<quint64>(value), 4);
    } else {
        WriteTag(vaInt64);
        WriteLittleEndian(static_cast<quint64>(value), 8);
    }
}

void TObjectWriter::WriteExtended(double value)
{
    WriteTag(vaExtended);
    const TExtended80 bytes = DoubleToExtended(value);
    FData.append(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void TObjectWriter::WriteText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    // A lone surrogate has no UTF-8 form; only UTF-16 keeps such a text intact.
    if (utf8.size() < 2 * text.size() && text.isValidUtf16()) {
        if (!IsAscii(utf8)) {
            WriteTag(vaUTF8String);
            WriteLittleEndian(static_cast<quint64>(utf8.size()), 4);
        } else if (utf8.size() <= 255) {
            WriteTag(vaString);
            WriteLittleEndian(static_cast<quint64>(utf8.size()), 1);
        } else {
            WriteTag(vaLString);
            WriteLittleEndian(static_cast<quint64>(utf8.size()), 4);
        }
        FData.append(utf8);
        return;
    }
    WriteTag(vaWString);
    WriteLittleEndian(static_cast<quint64>(text.size()), 4);
    for (const QChar c : text)
        WriteLittleEndian(c.unicode(), 2);
}

void TObjectWriter::WriteIdent(const QString &name)
{
    WriteTag(vaIdent);
    WriteShortString(name);
}

void TObjectWriter::WriteBoolean(bool value)
{
    WriteTag(value ? vaTrue : vaFalse);
}

void TObjectWriter::WriteSet(const QStringList &names)
{
    WriteTag(vaSet);
    for (const QString &name : names)
        WriteShortString(name);
    WriteShortString(QString());
}

} // namespace trovalo
