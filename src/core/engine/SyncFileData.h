#pragma once

#include "base/DateTime.h"
#include "engine/WorkerObserver.h"

#include <QString>

#include <deque>

namespace trovalo {

// One file of a sync pair, as a run met it.
class TFileData
{
public:
    QString FileName() const { return FFolder + FName; }
    // Reads the file: an existing file gives its size and file date; a
    // missing one sets FError and leaves both as they were.
    void SetFileName(const QString &fileName);
    // Names a file whose size and date the caller has just listed. The
    // folder text is shared by every file of the folder.
    void SetListedFile(const QString &folder, const QString &name, qint64 size, TDateTime date);
    // Names the file a copy is to create where the scan met none, without
    // looking at the disk again: it stays not met.
    void SetTargetName(const QString &fileName);
    // Whether this is the file Name in Folder (letter case counts).
    bool IsFile(const QString &folder, const QString &name) const;

    // "File Not Found" while no file was found, else the size for a file list.
    QString SizeText() const;

    // A file was met under this name (a target path rebuilt for a copy
    // names no file yet).
    bool Met() const { return !FName.isEmpty() && !FError; }

    qint64 FFileSize = -1; // -1: no file found
    bool FError = false;   // the file named last did not exist
    TDateTime FLastChangeTime = 0;
    TDateTime OLDFileDateTime = 0; // recorded at the last successful copy; 0: none

private:
    QString FFolder; // empty when FName holds the whole path
    QString FName;
};

// A file on the USB drive (A) and its counterpart on the computer (B).
class TFilePair
{
public:
    TFileData &FileA() { return FFileA; }
    const TFileData &FileA() const { return FFileA; }
    TFileData &FileB() { return FFileB; }
    const TFileData &FileB() const { return FFileB; }

    bool New = false; // never synced: no FileLog row before this scan, or one without dates
    qint64 RecordID = 0;
    TFileAction FileAction = faCopyAB;
    bool Ask = false; // to be settled by the user
    // Its missing side lies in a folder that could not be read, where the
    // file may still exist: only a new file may be copied in.
    bool Held = false;

private:
    TFileData FFileA;
    TFileData FFileB;
};

// The pairs of one run, addressed by index. Deliberately light (no QObject
// and no allocation of its own per item): a run holds one pair per file it
// meets. Adding keeps earlier pairs where they are.
class TFileCollection
{
public:
    int Count() const { return int(FItems.size()); }
    TFilePair &Item(int index) const;
    TFilePair &operator[](int index) const { return Item(index); }

    TFilePair &Add();
    TFilePair &Add(const QString &fileNameA, const QString &fileNameB);
    // A new pair at Index (0..Count).
    TFilePair &Insert(int index);
    // Drops every pair the predicate accepts, keeping the others' order.
    template <class TPredicate>
    void RemoveIf(TPredicate predicate)
    {
        std::erase_if(FItems, [&](const TFilePair &pair) { return predicate(pair); });
    }
    void Clear() { FItems.clear(); }

private:
    void CheckIndex(int index, int limit) const;
    mutable std::deque<TFilePair> FItems;
};

} // namespace trovalo
