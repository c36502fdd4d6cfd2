#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace trovalo {

// Value tags of the object stream, by the format's own names.
enum TValueType : quint8 {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString,
    vaInt64,
    vaUTF8String,
    vaDouble,
};

// "vaInt8" for vaInt8; "tag N" for a byte that is no tag.
QString ValueTypeName(int tag);

struct TStreamProperty;

// One value as stored, with its tag. Which member holds the payload depends
// on the tag.
struct TStreamValue
{
    TValueType Type = vaNil;
    qint64 Integer = 0;             // vaInt8..vaInt32, vaInt64; vaCurrency in ten-thousandths
    double Float = 0;               // vaExtended, vaSingle, vaDate, vaDouble
    QString Text;                   // vaString, vaLString, vaWString, vaUTF8String, vaIdent
    QByteArray Binary;              // vaBinary
    QStringList Names;              // vaSet
    std::vector<TStreamValue> List; // vaList
    std::vector<std::vector<TStreamProperty>> Items; // vaCollection: each item's properties

    bool IsInteger() const { return Type == vaInt8 || Type == vaInt16 || Type == vaInt32 || Type == vaInt64; }
    bool IsText() const
    {
        return Type == vaString || Type == vaLString || Type == vaWString || Type == vaUTF8String;
    }
};

struct TStreamProperty
{
    QString Name; // as stored, dotted paths included
    TStreamValue Value;
};

// A whole object stream read without knowing its class.
struct TStreamRecord
{
    QString ClassName;
    QList<TStreamProperty> Properties;
    QString Error; // empty when the stream was read to its end
};

// Reads an uncompressed object stream. Never raises: at the first problem it
// returns the properties read before it and says what was wrong in Error.
// Every length is checked against the data, nesting is limited and so is the
// number of values, so hostile input costs little.
TStreamRecord ParseObjectStream(const QByteArray &data);

// Builds an object stream. Names and identifiers longer than 255 bytes of
// UTF-8 cannot be stored and raise EStreamError.
class TObjectWriter
{
public:
    void WriteSignature();
    void WriteShortString(const QString &text);
    void WriteTag(TValueType tag);
    // The smallest of vaInt8, vaInt16, vaInt32 that holds the value, else vaInt64.
    void WriteInteger(qint64 value);
    void WriteExtended(double value);
    // Short ASCII as vaString, long ASCII as vaLString, other text mostly of
    // one- and two-byte UTF-8 characters as vaUTF8String, the rest (empty
    // text included) as vaWString.
    void WriteText(const QString &text);
    void WriteIdent(const QString &name);
    void WriteBoolean(bool value);
    // vaSet with the element names, then the empty name.
    void WriteSet(const QStringList &names);

    const QByteArray &Data() const { return FData; }

private:
    void WriteLittleEndian(quint64 value, int bytes);
    QByteArray FData;
};

// Decodes 8-bit text of vaString and vaLString (Windows-1252).
QString DecodeWindows1252(QByteArrayView bytes);

} // namespace trovalo
