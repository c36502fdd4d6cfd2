#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QIODevice;

namespace trovalo {

// Base of every persisted record (job records, settings, drive configuration,
// schedules). A record is stored as one zlib stream (level 9) of an object
// stream that begins with "TPF0"; the byte format is fixed so files written by
// other installations load here and files written here load there.
//
// What gets written is driven by the Qt meta-object description of the
// concrete class, in declaration order along the class chain (base first):
//
//   Q_PROPERTY type                      stream kind
//   bool                                 Boolean (tags 8/9)
//   qint8, quint8                        8-bit integer
//   int                                  32-bit integer
//   qint64                               64-bit integer (written when not 0)
//   double (TDateTime too)               extended float (written when not 0)
//   QString                              text (written when not empty)
//   QStringList                          string list ("Path.Strings")
//   a Q_ENUM / Q_ENUM_NS type            enumeration, by value name
//   a Q_FLAG QFlags type                 set, by member names (bit n = ordinal n)
//   pointer to a TCollection subclass    collection (tag 14)
//   pointer to another QObject subclass  owned sub-object, dotted names
//
// A declared default is given as Q_CLASSINFO("default:<Property>", "<value>")
// with the value as "true"/"false", a number, an enumeration name, or a set
// as "[]" / "[a,b]". Integers, Booleans, enumerations and sets without a
// declared default are always written; with one, only when different.
// Properties without a WRITE accessor are never written, except owned
// objects and collections: the reader fills those in place and never
// replaces the pointer. QObject's own objectName is never written. Names in
// a stream are matched without regard to ASCII case, as older writers did.
// A type outside this table raises EStreamError when the record is saved.
class TSaveLoadComponent : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_CLASSINFO("default:Tag", "0")
    Q_PROPERTY(QString FileGUID READ FileGUID WRITE SetFileGUID)

public:
    // Sets FileGUID to a fresh GUID in registry text form.
    explicit TSaveLoadComponent(QObject *parent = nullptr);
    ~TSaveLoadComponent() override;

    int Tag() const { return FTag; }
    void SetTag(int value) { FTag = value; }
    QString FileGUID() const { return FFileGUID; }
    void SetFileGUID(const QString &value) { FFileGUID = value; }

    // Saving to and loading from a file named in drive-letter form needs the
    // drive table: see platform/RecordFile.h.

    // Writes the container at the device's current position; afterwards the
    // position is just after the written bytes.
    void SaveToStream(QIODevice &stream) const;
    // Reads the container from byte 0 of the device, whatever its position.
    void LoadFromStream(QIODevice &stream);

    // The container as bytes (what a blob field holds).
    QByteArray SaveToBytes() const;
    // Inflates and reads. Never raises: on damage the properties read before
    // it keep their new values and the rest keep their previous ones.
    void LoadFromBytes(const QByteArray &container);

    // Database blob form: a null blob changes nothing; a blob that is not a
    // readable container is read again as an uncompressed object stream (an
    // older form), and errors of that second attempt raise EStreamError.
    void LoadFromBlob(const std::optional<QByteArray> &blob);

    // The uncompressed object stream of this record.
    QByteArray ToObjectStream() const;
    // Reads an uncompressed object stream into this record; raises
    // EStreamError at the first problem, keeping what was read before it.
    void ReadObjectStream(const QByteArray &objectStream);

    // A new GUID in registry text form, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
    static QString NewGuidText();

private:
    int FTag = 0;
    QString FFileGUID;
};

} // namespace trovalo
