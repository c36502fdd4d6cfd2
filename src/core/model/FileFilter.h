#pragma once

#include <QObject>
#include <QStringList>

namespace trovalo {

// Which files inside a job's folders are left alone: by extension, by name
// pattern, and by the read-only, hidden and system attributes. Every worker
// holds its own copy and asks it about each file.
class TFileFilter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList ExcludeFileExtList READ ExcludeFileExtList WRITE SetExcludeFileExtList)
    Q_PROPERTY(QStringList ExcludeMaskList READ ExcludeMaskList WRITE SetExcludeMaskList)
    Q_PROPERTY(bool Hidden READ Hidden WRITE SetHidden)
    Q_CLASSINFO("default:Hidden", "false")
    Q_PROPERTY(bool System READ System WRITE SetSystem)
    Q_CLASSINFO("default:System", "false")
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_CLASSINFO("default:ReadOnly", "false")

public:
    explicit TFileFilter(QObject *parent = nullptr);

    // Extensions with their leading dot (".tmp"), compared without regard to case.
    QStringList ExcludeFileExtList() const { return FExcludeFileExtList; }
    void SetExcludeFileExtList(const QStringList &value) { FExcludeFileExtList = value; }
    // File names or patterns with "*" and "?", stored in lower case.
    QStringList ExcludeMaskList() const { return FExcludeMaskList; }
    void SetExcludeMaskList(const QStringList &value) { FExcludeMaskList = value; }
    bool Hidden() const { return FHidden; }
    void SetHidden(bool value) { FHidden = value; }
    bool System() const { return FSystem; }
    void SetSystem(bool value) { FSystem = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }

    // Not stored; the attribute test runs only while it is set.
    bool ChackFileAttributes() const { return FChackFileAttributes; }
    void SetChackFileAttributes(bool value) { FChackFileAttributes = value; }

    // The rules on a bare file name: the extension list and the patterns.
    // Together with the attribute rules below they decide whether a file is
    // skipped; IsExcludedFile (platform/FileAttributes.h) applies both.
    bool IsExcludedName(const QString &fileName) const;
    // Whether the attribute rules can skip anything. Reading attributes costs
    // a system call per file, so callers read none when this is false.
    bool TestsAttributes() const { return FChackFileAttributes && (FReadOnly || FHidden || FSystem); }
    // The attribute rules, given which of the three attributes the file has.
    bool IsExcludedByAttributes(bool readOnly, bool hidden, bool system) const
    {
        return (FReadOnly && readOnly) || (FHidden && hidden) || (FSystem && system);
    }

    // Copies the three flags and both lists; ChackFileAttributes stays.
    // Raises EConvertError when Source is not a file filter.
    void Assign(const QObject *source);

    // The pattern rule: "*" stands for one or more characters and "?" for
    // exactly one, neither of them a dot; other characters match themselves,
    // case-sensitively. Linear in the name's length times the pattern's.
    static bool MatchesMask(const QString &pattern, const QString &name);

private:
    QStringList FExcludeFileExtList;
    QStringList FExcludeMaskList;
    bool FHidden = false;
    bool FSystem = false;
    bool FReadOnly = false;
    bool FChackFileAttributes = true;
};

} // namespace trovalo
