#pragma once

#include "engine/WorkerObserver.h"
#include "model/DateTime.h"

#include <QString>

#include <memory>
#include <vector>

namespace trovalo {

// One file of a sync pair, as a run met it.
class TFileData
{
public:
    QString FileName() const { return FFileName; }
    // Reads the file: an existing file gives its size and file date; a
    // missing one sets FError and leaves both as they were.
    void SetFileName(const QString &fileName);
    // Names a file whose size and date the caller has just listed.
    void SetListedFile(const QString &fileName, qint64 size, TDateTime date);

    // "File Not Found" while no file was found, else the size for a file list.
    QString SizeText() const;

    // A file was met under this name (a target path rebuilt for a copy
    // names no file yet).
    bool Met() const { return !FFileName.isEmpty() && !FError; }
    // The date differs from the one recorded at the last successful copy.
    bool Changed() const { return OLDFileDateTime != FLastChangeTime; }

    qint64 FFileSize = -1; // -1: no file found
    bool FError = false;   // the file named last did not exist
    TDateTime FLastChangeTime = 0;
    TDateTime OLDFileDateTime = 0; // recorded at the last successful copy; 0: none

private:
    QString FFileName;
};

// A file on the USB drive (A) and its counterpart on the computer (B).
class TFilePair
{
public:
    TFileData &FileA() { return FFileA; }
    const TFileData &FileA() const { return FFileA; }
    TFileData &FileB() { return FFileB; }
    const TFileData &FileB() const { return FFileB; }

    bool New = false; // its FileLog row did not exist before the scan that last touched it
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
// per item): a run holds one pair per file it meets.
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
        std::erase_if(FItems, [&](const std::unique_ptr<TFilePair> &pair) { return predicate(*pair); });
    }
    void Clear() { FItems.clear(); }

private:
    void CheckIndex(int index, int limit) const;
    std::vector<std::unique_ptr<TFilePair>> FItems;
};

} // namespace trovalo
