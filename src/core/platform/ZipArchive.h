#pragma once

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "platform/FileOperations.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace trovalo {

enum class TZipOpenMode {
    Read,    // an existing archive, never changed
    Update,  // an existing archive to add to; created by Commit when missing
    Replace, // a new archive that takes the place of an existing one (not read) at Commit
};

// A failure of the archive work. Code is the archive library's error number
// (libzip's ZIP_ER_*: 11 a file cannot be opened, 27 wrong password, ...),
// shown to users as the "Error Code"; SourceFile names the file being added
// when reading it failed during a commit.
class EZipError : public EFileError
{
public:
    EZipError(const QString &message, int code, QString sourceFile = {})
        : EFileError(message)
        , FCode(code)
        , FSourceFile(std::move(sourceFile))
    {}
    int Code() const noexcept { return FCode; }
    const QString &SourceFile() const noexcept { return FSourceFile; }
    const char *ClassName() const noexcept override { return "EZipError"; }

private:
    int FCode;
    QString FSourceFile;
};

// What a commit tells about the files added since Open, in the order it
// reads them (a replaced entry keeps its place in the archive).
struct TZipCommitEvents
{
    // Reading a file's data begins.
    std::function<void(const QString &sourceLetterPath)> FileStarted;
    // Bytes of that file read so far; returning false cancels the commit.
    TProgressCallback FileProgress;
};

enum class TZipMethod { Stored, Deflated, Other };
enum class TZipEncryption { None, Traditional, Aes, Other };

// One entry of an archive as stored in its central directory.
struct TZipEntryInfo
{
    qint64 Index = -1;
    QString Name;     // with "/" separators; folders end with "/"
    quint64 Size = 0; // uncompressed
    quint64 PackedSize = 0;
    TDateTime Modified = 0; // local time, two-second precision
    TZipMethod Method = TZipMethod::Other;
    TZipEncryption Encryption = TZipEncryption::None;
    // Made on a Unix host, where "\" is part of a name; other hosts wrote
    // it as a folder separator.
    bool UnixNames = false;

    bool IsEncrypted() const { return Encryption != TZipEncryption::None; }
    bool IsFolder() const { return Name.endsWith(QLatin1Char('/')); }
};

// A ZIP archive named by a drive-letter path (E:\Backup\C.zip).
//
// Changes made with AddFile are only recorded: the files are read, packed and
// encrypted when Commit writes the archive. Commit writes a new archive next
// to the old one and swaps it in only when complete, so a cancelled or failed
// commit leaves the previous archive as it was. The source files must
// therefore still exist when Commit runs.
//
// Failures raise EZipError (EPathError for a path without a drive) with a
// message naming the archive or entry and the reason. One object is used by
// one thread at a time.
class TZipArchive
{
public:
    TZipArchive();
    ~TZipArchive(); // discards changes that were not committed
    TZipArchive(const TZipArchive &) = delete;
    TZipArchive &operator=(const TZipArchive &) = delete;

    // Opens the archive, closing (and discarding the changes of) one that was
    // open. A missing archive is an error in Read mode; a damaged one in both.
    void Open(const QString &letterPath, TZipOpenMode mode);
    bool IsOpen() const;
    QString FileName() const; // the drive-letter path given to Open
    // Closes without writing anything.
    void Close();

    // The password new entries are encrypted with (AES-256) and encrypted
    // entries are read with; empty for none.
    void SetPassword(const QString &password);

    QList<TZipEntryInfo> Entries() const;
    // Without the date, Modified stays 0 (a time-zone look-up spared).
    std::optional<TZipEntryInfo> Entry(const QString &entryName, bool withDate = true) const;
    // Cheaper than Entry when only the presence matters (a hash look-up).
    bool HasEntry(const QString &entryName) const;

    // Records that every file entry whose name is not in Kept is to be
    // deleted by the next Commit; returns how many. Folder entries stay.
    qsizetype DeleteEntriesExcept(const QSet<QString> &kept);
    // Whether the password set opens the archive's AES entries: the smallest
    // one is read through, so its authentication code is checked, not only
    // the two-byte password check. Nullopt when the archive has none.
    std::optional<bool> PasswordOpensAesEntries() const;

    // Records that the file at sourceLetterPath is to be stored as entryName,
    // replacing an entry of that name. Already-compressed kinds of file are
    // stored, others deflated.
    void AddFile(const QString &sourceLetterPath, const QString &entryName);

    // Writes the archive and closes it, whatever the outcome. The callback
    // sees the bytes of all entries written so far; returning false cancels,
    // and Commit then returns false with the old archive untouched. An
    // archive without entries is not written (an old one is removed). A file
    // that cannot be read makes the whole commit fail (EZipError with its
    // SourceFile); the old archive is then untouched too.
    bool Commit(const TProgressCallback &progress = {}, const TZipCommitEvents &events = {});
    // Files added since Open (not yet committed).
    qsizetype PendingCount() const;

    // Extracts one entry to a file (raises EZipError, code 27 for a wrong
    // password, 18 for an unsafe name). The data go to a temporary file in the
    // target's folder that takes the target's name only once the entry was
    // read completely and its checksum matched: a wrong password, damaged
    // data (also data running past the recorded size, where the read stops)
    // or a cancel (callback returns false, the result is then false)
    // leave an existing target untouched. The target's folder is created; a
    // folder entry only creates the folder. Entries with an unsafe name are
    // refused before anything is written.
    bool ExtractEntry(const QString &entryName, const QString &targetLetterPath,
                      const TProgressCallback &progress = {});

    // Where an entry lands below a base folder with its stored folders
    // (E:\Restore\ + Users/Ann/a.txt -> E:\Restore\Users\Ann\a.txt). Raises
    // EFileError for an unsafe name.
    static QString TargetBelow(const QString &baseLetterDir, const QString &entryName, bool unixNames);
    // The entry name of a path in the drive-letter form relative to the
    // archive's base ("Users\Ann\a.txt" -> "Users/Ann/a.txt"), with the names
    // as the disk holds them.
    static QString EntryNameOf(const QString &relativeLetterPath);
    // The reverse: an entry's path in the drive-letter form.
    static QString LetterPathOf(const QString &entryName, bool unixNames);

    // False for names that could write outside the extraction folder:
    // absolute ("/x", "\x"), with a drive ("C:x") or with a ".." part.
    static bool IsSafeEntryName(const QString &entryName);
    // True for kinds of file that deflate would not make smaller.
    static bool IsCompressedKind(const QString &fileName);

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};

} // namespace trovalo
