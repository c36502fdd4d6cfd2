#pragma once

#include <QChar>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace trovalo {

// The letters that mounted volumes were given, kept so that a volume gets
// the same letter at every plug-in. A volume is known by its file-system
// UUID, or by its device and label when it has none.
//
// The file holds one line per letter, "E uuid=1A2B-3C4D"; the key is
// percent-encoded where it holds blanks, controls or "%". Lines that do not
// parse are dropped; the file is rewritten whole and atomically.
class TDriveLetterMemory
{
public:
    // An empty file name keeps the memory in this object only.
    explicit TDriveLetterMemory(QString fileName = QString());

    // <generic data folder>/Trovalo/drive-letters
    static QString DefaultFileName();
    static QString KeyOf(const QString &uuid, const QString &device, const QString &label);

    void Load();
    // Writes the file when anything changed since Load; false on failure.
    bool Save();

    // Gives each mounted volume (keys in mount order) a letter from D to Z:
    // its remembered letter, else the first letter that neither a mounted
    // volume nor a remembered one holds, else the first letter no mounted
    // volume holds (that letter's old owner forgets it). After 23 volumes
    // the rest get none. New letters are remembered.
    QList<std::optional<QChar>> Assign(const QStringList &keys);

    std::optional<QChar> LetterOf(const QString &key) const;
    bool IsChanged() const { return FChanged; }

private:
    QString FFileName;
    QMap<QChar, QString> FKeyByLetter;
    bool FChanged = false;
};

} // namespace trovalo
