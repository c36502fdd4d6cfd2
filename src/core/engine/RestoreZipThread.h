#pragma once

#include "engine/BackUpThreadBase.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <optional>

namespace trovalo {

class TZipArchive;
struct TZipEntryInfo;

// Puts back files from a backup made as ZIP archives: the archive's name
// tells the drive (C.Zip) or the server and share (__srv~data.Zip) the
// entries came from. Entries go back below that drive or server, or below
// RestoreDir with their stored folders; when Source holds more than one
// archive, below RestoreDir + a folder per archive named as a copy backup
// names it (C\, __srv\), so the same path from two drives never meets.
//
// Inputs: Source (the folder holding the archives, trailing "\"), Include
// (Source + archive + "\" + a folder inside it + "\": restores the entries
// stored directly in that folder), FileList (archive + "\" + entry path,
// relative to Source), RestoreDir (empty: former places), Password.
//
// An existing file is replaced only once its new content was extracted
// completely (a wrong password or a damaged entry leaves it as it was), and
// entries whose names would leave the extraction folder are refused.
class TRestoreZipThread : public TRestoreThreadBase
{
    Q_OBJECT
public:
    explicit TRestoreZipThread(QObject *parent = nullptr);
    ~TRestoreZipThread() override;

    QString Password() const { return FPassword; }
    void SetPassword(const QString &value) { FPassword = value; }

    // The folder below which the entries of a FileList or Include line
    // (relative to Source, starting with the archive name) are extracted.
    QString ExtractBaseDir(const QString &line);
    // Whether Source holds more than one archive (listed once).
    bool SeveralArchives();

protected:
    void Execute() override;

private:
    // An entry chosen for the restore, as the archive stores it.
    struct TSelectedEntry
    {
        QString Stored; // "/" separators
        qint64 Size = 0;
        bool UnixNames = false; // TZipEntryInfo::UnixNames
    };
    struct TArchiveFailure
    {
        QString Message;
        int Code = 0;
    };

    // Include made relative to Source, the archives of both lists noted.
    void PrepareLines();
    bool NoteArchive(const QString &line, bool isFile);
    // FileList completed with the entries of the selected folders.
    void CollectEntries();
    // What collecting the entries builds up across the archives.
    struct TCollection
    {
        QSet<QString> FolderKeys;         // case-folded Include lines
        QStringList Files;                // FileList, growing
        QHash<QString, qsizetype> Exact;  // key of a line -> its index in Files
        QHash<QString, qsizetype> Folded; // case-folded chosen line -> its index
        QSet<qsizetype> Resolved;         // lines that found their entry
    };
    void CollectArchive(const QString &archive, TCollection &collection);
    void Select(TCollection &collection, qsizetype index, const QString &line, const TZipEntryInfo &entry);
    void FailArchive(const QString &archive, const QString &message, int code);
    void RestoreLine(const QString &line);
    void SelectArchive(const QString &archive, const QString &line);
    void RestoreEntry(const QString &name, const TSelectedEntry &entry);
    bool ExtractEntry(const QString &name, const TSelectedEntry &entry, int &code);
    void LogFailedEntry(const QString &name, int code);
    void ReportFailure(const QString &message);

    QString FPassword;
    std::unique_ptr<TZipArchive> Zip;
    QStringList ZipFileList; // archives the selection touches, e.g. "C.Zip"
    QString ExtrBaseDir;
    // FileList line (archive name case-folded) -> its entry.
    QHash<QString, TSelectedEntry> FSelected;
    // Case-folded archive name -> why it cannot be read (reported once).
    QHash<QString, TArchiveFailure> FFailedArchives;
    QString FArchivePath; // the archive the restore is at
    std::optional<TArchiveFailure> FArchiveFailure;
    std::optional<bool> FSeveralArchives;
};

} // namespace trovalo
