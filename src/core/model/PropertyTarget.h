#pragma once

#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QStringList>

namespace trovalo {

class TCollection;

// How a Q_PROPERTY is stored (see the mapping in SaveLoadComponent.h).
enum class TPropertyKind {
    Boolean,
    Int8,
    UInt8,
    Int32,
    Int64,
    Float,
    Text,
    Enumeration,
    Set,
    StringList,
    Object,
    Collection,
};

// One stored property of one object, with typed access that checks ranges
// and names. Every failure raises EStreamError naming the property's path.
class TPropertyTarget
{
public:
    TPropertyTarget(QObject &object, const QMetaProperty &property, const QString &path);

    // The properties a class stores, in declaration order along the class
    // chain, base first: QObject's own are left out, and so are those
    // without a setter, except owned objects and collections (they are
    // filled, never replaced).
    static QList<QMetaProperty> StoredProperties(const QMetaObject &metaObject);

    // Finds the property a stream or JSON name stands for below Root: a
    // dotted path through owned objects ("FileFilter.Hidden"), ending in
    // "Strings" for a string list ("FolderList.Strings"). Names are matched
    // without regard to ASCII case. An unknown name raises.
    static TPropertyTarget Resolve(QObject &root, const QString &name);

    TPropertyKind Kind() const { return FKind; }
    const QString &Path() const { return FPath; }
    // "a Boolean", "one of amIncremental, amOnlyNew", ... for messages.
    QString Expected() const;

    // True when the class declares a default and the value equals it.
    bool HasDefaultValue() const;

    bool Boolean() const;
    qint64 Integer() const; // the integer kinds
    double Float() const;
    QString Text() const;
    QString EnumName() const;
    QStringList SetNames() const; // ascending by ordinal
    QStringList Strings() const;
    QObject *Object() const; // Object and Collection kinds; may be null
    TCollection *Collection() const;

    void SetBoolean(bool value) const;
    void SetInteger(qint64 value) const;
    void SetFloat(double value) const;
    void SetText(const QString &value) const;
    void SetEnumName(const QString &name) const;
    void SetSetNames(const QStringList &names) const;
    void SetStrings(const QStringList &value) const;

    [[noreturn]] void Fail(const QString &what) const;

private:
    qint64 RawEnum() const;
    void SetRawEnum(qint64 value) const;
    void Write(const QVariant &value) const;
    int EnumValue(const QString &name) const;
    qint64 ParseDefault(const QByteArray &text) const;

    QObject *FObject;
    QMetaProperty FProperty;
    QString FPath;
    TPropertyKind FKind;
};

} // namespace trovalo
