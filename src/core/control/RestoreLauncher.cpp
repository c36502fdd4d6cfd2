#include "RestoreLauncher.h"

#include "base/DateTimeText.h"
#include "base/Exceptions.h"
#include "base/PathText.h"
#include "db/JobDatabase.h"
#include "engine/RestoreFolderThread.h"
#include "engine/RestoreZipThread.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/SelectionLists.h"
#include "platform/FileOperations.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "platform/ZipArchive.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace trovalo {

namespace {

const QString InvalidFolderText =
    QStringLiteral("Can not restore to the selected folder.Please select a deferent folder.");
const QChar Backslash = QLatin1Char('\\');
const QChar Slash = QLatin1Char('/');

// What the engine gets: its Include and FileList lines.
struct TSelectionLines
{
    QStringList Include;
    QStringList Files;
};

EUserException NotInRun(const QString &item, const QString &source)
{
    return EUserException(QStringLiteral("\"%1\" is not in the backup run %2").arg(item, source));
}

// An item relative to the run folder with "\" separators and no trailing
// one. Anything that could name a place outside the run is refused.
QString RelativeItem(const QString &item)
{
    QString text = item;
    text.replace(Slash, Backslash);
    while (text.endsWith(Backslash))
        text.chop(1);
    bool safe = !text.isEmpty() && !text.startsWith(Backslash) && !text.contains(QLatin1Char(':'));
    for (const QString &part : text.split(Backslash))
        safe = safe && !part.isEmpty() && part != QLatin1String(".") && part != QLatin1String("..");
    if (!safe)
        throw EUserException(QStringLiteral("\"%1\" is no path inside a backup run; give it relative to the "
                                            "run folder, for example C\\Users\\Ann\\Docs")
                                 .arg(item));
    return text;
}

void AddOnce(QStringList &lines, const QString &line)
{
    if (!lines.contains(line, Qt::CaseInsensitive))
        lines << line;
}

std::vector<TFolderEntry> ListRunFolder(const QString &source)
{
    std::vector<TFolderEntry> entries;
    int error = 0;
    if (!ListFolder(source, entries, &error))
        throw EFileError(
            QStringLiteral("Cannot read the backup run %1: %2").arg(source, SystemErrorText(error)));
    std::sort(entries.begin(), entries.end(), [](const TFolderEntry &a, const TFolderEntry &b) {
        return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

// ---- Backups made as plain copies ----

// The first folder level below a run folder names where the copies came
// from: a drive letter (C) or a server (__srv). Anything else there is no
// copy of the job's, and restoring it "in place" would invent a drive
// (Docs would go to D:ocs).
bool IsOriginFolder(const QString &name)
{
    if (name.size() == 1)
        return name.at(0).isLetter() && name.at(0).unicode() < 128;
    return name.size() > 2 && name.startsWith(QLatin1String("__"));
}

// Folder lines below another folder line, and file lines inside one, would
// restore the same files twice.
void DropNested(TSelectionLines &lines, const QString &source)
{
    auto covered = [&lines](const QString &path) {
        return std::any_of(lines.Include.cbegin(), lines.Include.cend(), [&](const QString &folder) {
            return path.size() > folder.size() && path.startsWith(folder, Qt::CaseInsensitive);
        });
    };
    QStringList folders;
    for (const QString &folder : lines.Include)
        if (!covered(folder))
            folders << folder;
    QStringList files;
    for (const QString &file : lines.Files)
        if (!covered(source + file))
            files << file;
    lines.Include = folders;
    lines.Files = files;
}

TSelectionLines SelectCopies(const QString &source, const QStringList &items)
{
    TSelectionLines lines;
    if (items.isEmpty()) {
        for (const TFolderEntry &entry : ListRunFolder(source))
            if (entry.IsFolder() && IsOriginFolder(entry.Name))
                lines.Include << source + entry.Name + Backslash;
    }
    for (const QString &item : items) {
        const QString relative = RelativeItem(item);
        const QString path = source + relative;
        if (!IsOriginFolder(relative.section(Backslash, 0, 0)))
            throw NotInRun(item, source);
        if (DirectoryExists(path))
            AddOnce(lines.Include, path + Backslash);
        else if (relative.contains(Backslash) && FileExists(path))
            AddOnce(lines.Files, relative);
        else
            throw NotInRun(item, source);
    }
    DropNested(lines, source);
    if (lines.Include.isEmpty() && lines.Files.isEmpty())
        throw EUserException(
            QStringLiteral("Nothing to restore: the backup run %1 holds no copies").arg(source));
    return lines;
}

// ---- Backups made as ZIP archives ----

bool IsArchiveName(const QString &name)
{
    return name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive) && name.size() > 4;
}

// The archives of a run folder, each listed once when first needed.
class TRunArchives
{
public:
    explicit TRunArchives(QString source)
        : FSource(std::move(source))
    {
        for (const TFolderEntry &entry : ListRunFolder(FSource))
            if (entry.IsFile() && IsArchiveName(entry.Name))
                FNames << entry.Name;
    }

    const QStringList &Names() const { return FNames; }

    // The stored name of an archive named in any letter case; "" for none.
    QString Find(const QString &name) const
    {
        for (const QString &stored : FNames)
            if (stored.compare(name, Qt::CaseInsensitive) == 0)
                return stored;
        return {};
    }

    const QList<TZipEntryInfo> &Entries(const QString &name)
    {
        auto found = FEntries.find(name);
        if (found == FEntries.end()) {
            TZipArchive archive;
            archive.Open(FSource + name, TZipOpenMode::Read);
            found = FEntries.insert(name, archive.Entries());
        }
        return *found;
    }

private:
    QString FSource;
    QStringList FNames;
    QHash<QString, QList<TZipEntryInfo>> FEntries;
};

// The folder an entry is stored in ("Users/Ann" for Users/Ann/a.txt, the
// folder itself for a folder entry, "" at the root).
QString FolderOfEntry(const QString &entryName)
{
    const qsizetype slash = entryName.lastIndexOf(Slash);
    return slash < 0 ? QString() : entryName.left(slash);
}

// Every folder of an archive with every folder above it, in the stored case
// ("/" separators, no trailing one; "" is the root). Archives need not hold
// entries for their folders, so they are derived from the entry names.
QStringList FoldersOf(const QList<TZipEntryInfo> &entries)
{
    QStringList folders{QString()};
    QSet<QString> seen{QString()};
    for (const TZipEntryInfo &entry : entries) {
        for (QString folder = FolderOfEntry(entry.Name); !seen.contains(folder);
             folder = FolderOfEntry(folder)) {
            seen.insert(folder);
            folders << folder;
        }
    }
    return folders;
}

// The engine takes the entries stored directly in a folder of an Include
// line: Source + archive + "\" + folder + "\", the root being Source +
// archive + "\".
QString FolderLine(const QString &source, const QString &archive, const QString &folder)
{
    QString line = source + archive + Backslash;
    if (!folder.isEmpty())
        line += QString(folder).replace(Slash, Backslash) + Backslash;
    return line;
}

bool IsSameOrBelow(const QString &folder, const QString &top)
{
    return top.isEmpty() || folder.compare(top, Qt::CaseInsensitive) == 0 ||
           (folder.size() > top.size() && folder.startsWith(top + Slash, Qt::CaseInsensitive));
}

void SelectArchiveItem(TRunArchives &archives, const QString &source, const QString &item,
                       TSelectionLines &lines)
{
    const QString relative = RelativeItem(item);
    const QString archive = archives.Find(relative.section(Backslash, 0, 0));
    if (archive.isEmpty())
        throw NotInRun(item, source);
    const QList<TZipEntryInfo> &entries = archives.Entries(archive);
    const QString inner = relative.section(Backslash, 1).replace(Backslash, Slash);

    if (!inner.isEmpty()) {
        const auto file = std::find_if(entries.cbegin(), entries.cend(), [&](const TZipEntryInfo &entry) {
            return !entry.IsFolder() && entry.Name.compare(inner, Qt::CaseInsensitive) == 0;
        });
        if (file != entries.cend()) {
            AddOnce(lines.Files, archive + Backslash + QString(file->Name).replace(Slash, Backslash));
            return;
        }
    }
    // A folder restores with every folder below it: the engine takes only
    // the entries stored directly in the folder of each line.
    bool found = false;
    for (const QString &folder : FoldersOf(entries)) {
        if (IsSameOrBelow(folder, inner)) {
            AddOnce(lines.Include, FolderLine(source, archive, folder));
            found = true;
        }
    }
    if (!found)
        throw NotInRun(item, source);
}

TSelectionLines SelectArchives(const QString &source, const QStringList &items)
{
    TRunArchives archives(source);
    TSelectionLines lines;
    if (items.isEmpty()) {
        for (const QString &archive : archives.Names())
            for (const QString &folder : FoldersOf(archives.Entries(archive)))
                lines.Include << FolderLine(source, archive, folder);
    }
    for (const QString &item : items)
        SelectArchiveItem(archives, source, item, lines);
    if (lines.Include.isEmpty() && lines.Files.isEmpty())
        throw EUserException(
            QStringLiteral("Nothing to restore: the backup run %1 holds no archives").arg(source));
    return lines;
}

// The engine takes the entries stored directly in each folder line, so a
// left-out folder is left out by dropping its lines (and those below it),
// except where a folder chosen again inside it holds them.
void DropExcludedFolders(TSelectionLines &lines, const QString &source, const QStringList &items,
                         const QStringList &exclude)
{
    if (exclude.isEmpty())
        return;
    QStringList chosen, left;
    for (const QString &item : items)
        chosen << RelativeItem(item) + Backslash;
    for (const QString &item : exclude)
        left << RelativeItem(item) + Backslash;
    if (items.isEmpty())
        for (const QString &line : std::as_const(lines.Include))
            AddOnce(chosen, line.mid(source.size()).section(Backslash, 0, 0) + Backslash);
    const TSelectionLists selection(chosen, left);
    lines.Include.removeIf(
        [&](const QString &line) { return !selection.IsChecked(line.mid(source.size())); });
}

} // namespace

QList<TRestorableRun> TRestoreLauncher::RestorableRuns(const QString &jobFile)
{
    const QString databaseFile = JobDatabaseFileName(jobFile, TJobKind::Backup);
    // Opening would create an empty database: a job that never ran has none.
    if (!FileExists(databaseFile))
        throw EFileError(
            QStringLiteral("No backup data found for \"%1\": the job has not run yet (there is no "
                           "job database %2)")
                .arg(jobFile, databaseFile));
    TJobDatabase database(databaseFile);
    QList<TRestorableRun> runs;
    for (const TArchiveLogRow &row : database.ArchiveRuns()) {
        const std::optional<QString> folder = TJobDatabase::ArchiveFolderOnDisk(jobFile, row.ArchiveFolder);
        if (!folder)
            continue;
        runs.append({row.DateTime, DateTimeText(row.DateTime), row.ArchiveFolder, row.Format, row.Status,
                     IncludeTrailingBackslash(*folder)});
    }
    return runs;
}

bool TRestoreLauncher::HasEncryptedArchives(const TRestorableRun &run)
{
    TRunArchives archives(IncludeTrailingBackslash(run.Folder));
    for (const QString &archive : archives.Names()) {
        const QList<TZipEntryInfo> &entries = archives.Entries(archive);
        if (std::any_of(entries.cbegin(), entries.cend(),
                        [](const TZipEntryInfo &e) { return e.IsEncrypted(); }))
            return true;
    }
    return false;
}

std::unique_ptr<TRestoreThreadBase> TRestoreLauncher::Prepare(const TArchiveData &job,
                                                              const TRestorableRun &run,
                                                              const TRestoreSelection &selection)
{
    if (job.ArchiveType() != atFile && job.ArchiveType() != atImage)
        throw EUserException(QStringLiteral("The job's backup type (%1) is unknown: the file is damaged")
                                 .arg(job.ArchiveType()));
    QString restoreDir;
    if (!selection.RestoreDir.isEmpty()) {
        restoreDir = IncludeTrailingBackslash(selection.RestoreDir);
        if (!DirectoryExists(restoreDir))
            throw EUserException(
                QStringLiteral("%1\n%2 is not an existing folder.").arg(InvalidFolderText, restoreDir));
    }
    const QString source = IncludeTrailingBackslash(run.Folder);

    const bool zip = job.ArchiveType() == atImage;
    // The lines are made before the engine: a refused selection leaves no
    // engine behind (each one counts as a live worker).
    TSelectionLines lines =
        zip ? SelectArchives(source, selection.Items) : SelectCopies(source, selection.Items);
    QStringList excludedFolders;
    if (zip) {
        DropExcludedFolders(lines, source, selection.Items, selection.Exclude);
        if (lines.Include.isEmpty() && lines.Files.isEmpty())
            throw EUserException(QStringLiteral("Nothing to restore: every chosen folder was left out"));
    } else {
        for (const QString &item : selection.Exclude)
            excludedFolders << source + RelativeItem(item) + Backslash;
    }
    std::unique_ptr<TRestoreThreadBase> thread;
    if (zip) {
        auto zipThread = std::make_unique<TRestoreZipThread>();
        zipThread->SetPassword(selection.Password);
        thread = std::move(zipThread);
    } else {
        thread = std::make_unique<TRestoreFolderThread>();
    }
    thread->SetInclude(lines.Include);
    thread->SetFileList(lines.Files);
    thread->SetExclude(excludedFolders);
    thread->SetFreeOnTerminate(false);
    thread->SetSource(source);
    thread->SetRestoreDir(restoreDir);
    thread->SetJobTitle(QStringLiteral("restore of \"%1\" from %2").arg(job.BackupName(), source));
    return thread;
}

} // namespace trovalo
