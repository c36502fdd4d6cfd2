#include "engine/RestoreZipThread.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"
#include "platform/ZipArchive.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace trovalo {

namespace {

const QString UnZipAction = QStringLiteral("UnZip File");
const QString ErrorPrefix = QStringLiteral("Thread Error : Class = TCopyFolderThread : ");
const QString ArchiveExtension = QStringLiteral(".zip");

// The archive library's codes for failures found before it is asked: a
// line or archive name it cannot work with, and a file it cannot reach.
constexpr int InvalidArgumentCode = 18;
constexpr int CannotOpenCode = 11;

// The archive a line relative to Source starts with (C.Zip of
// C.Zip\Users\Ann\a.txt); empty when its first level is no archive.
QString ArchiveOf(const QString &line)
{
    const QString first = line.left(line.indexOf(QLatin1Char('\\')));
    if (first.size() <= ArchiveExtension.size() || !first.endsWith(ArchiveExtension, Qt::CaseInsensitive))
        return QString();
    return first;
}

// A line's key: the archive name ignoring case, the path inside exactly.
QString EntryKey(const QString &line)
{
    const QString archive = ArchiveOf(line);
    return archive.toCaseFolded() + line.mid(archive.size());
}

void SortIgnoringCase(QStringList &lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

} // namespace

TRestoreZipThread::TRestoreZipThread(QObject *parent)
    : TRestoreThreadBase(parent)
{
    // Qt gives the system thread this name when it starts (for debuggers).
    setObjectName(QStringLiteral("RestoreZipThread"));
}

TRestoreZipThread::~TRestoreZipThread() = default;

QString TRestoreZipThread::ExtractBaseDir(const QString &line)
{
    const QString archive = ArchiveOf(line);
    if (archive.isEmpty())
        return QString();
    const QString origin = archive.left(archive.size() - ArchiveExtension.size());
    if (!RestoreDir().isEmpty()) {
        SetRestoreDir(IncludeTrailingBackslash(RestoreDir()));
        // One archive keeps its stored folders right below the chosen
        // folder. Several get a level each, or C.Zip's Users\a.txt and
        // D.Zip's would overwrite each other.
        if (!SeveralArchives())
            return RestoreDir();
        // __srv~data: the entries are named from the share on, so the level
        // is the server's, as in a copy backup (__srv\data\...).
        const qsizetype tilde = origin.indexOf(QLatin1Char('~'));
        const QString level =
            origin.startsWith(QLatin1String("__")) && tilde > 2 ? origin.left(tilde) : origin;
        return RestoreDir() + level + QLatin1Char('\\');
    }
    if (origin.size() == 1 && IsDriveLetter(origin.at(0)))
        return origin + QStringLiteral(":\\");
    // __srv~data: the entries are named from the share on (data/x/a.txt),
    // so they go below the server.
    const qsizetype tilde = origin.indexOf(QLatin1Char('~'));
    if (origin.startsWith(QLatin1String("__")) && tilde > 2)
        return QStringLiteral("\\\\") + origin.mid(2, tilde - 2) + QLatin1Char('\\');
    return QString();
}

bool TRestoreZipThread::SeveralArchives()
{
    if (!FSeveralArchives) {
        std::vector<TFolderEntry> entries;
        ListFolder(Source(), entries);
        const auto archives = std::count_if(entries.cbegin(), entries.cend(), [](const TFolderEntry &entry) {
            return entry.Kind == TFolderEntry::ekFile && !ArchiveOf(entry.Name + QLatin1Char('\\')).isEmpty();
        });
        FSeveralArchives = archives > 1;
    }
    return *FSeveralArchives;
}

void TRestoreZipThread::Execute()
{
    // A restore reads a backup; it records no run of its own.
    SetLogFileName(QString());
    SetCalcFileSize(false);
    TRestoreThreadBase::Execute();
    try {
        PrepareLines();
        Zip = std::make_unique<TZipArchive>();
        Zip->SetPassword(FPassword);
        CollectEntries();

        QStringList files = FileList();
        SortIgnoringCase(files);
        SetFileList(files);
        FileNum = files.size();
        StartClock();
        for (const QString &line : std::as_const(files)) {
            if (Terminated())
                break;
            if (!line.isEmpty())
                RestoreLine(line);
        }
        Zip.reset();
        StatuesInfo = ReachEnd(QStringLiteral(" Finished !"), QStringLiteral(" Canceled"));
        ReportStatus();
    } catch (const ETrovaloError &error) {
        Zip.reset();
        ReportFailure(error.Message());
    } catch (const std::exception &error) {
        Zip.reset();
        ReportFailure(QString::fromLocal8Bit(error.what()));
    }
}

void TRestoreZipThread::PrepareLines()
{
    QStringList includes = Include();
    SortIgnoringCase(includes);
    PbarPosition = -1;
    StatuesInfo = QStringLiteral("Prepareing... ");
    ReportStatus();

    const QString source = Source();
    QStringList relativeIncludes;
    for (const QString &line : std::as_const(includes)) {
        if (Terminated())
            break;
        const QString relative =
            line.startsWith(source, Qt::CaseInsensitive) ? line.mid(source.size()) : line;
        if (NoteArchive(relative, false))
            relativeIncludes << relative;
    }
    SetInclude(relativeIncludes);

    QStringList files;
    for (const QString &line : FileList()) {
        if (Terminated())
            break;
        if (NoteArchive(line, true))
            files << line;
    }
    SetFileList(files);
}

bool TRestoreZipThread::NoteArchive(const QString &line, bool isFile)
{
    const QString archive = ArchiveOf(line);
    if (!archive.isEmpty()) {
        if (!ZipFileList.contains(archive, Qt::CaseInsensitive))
            ZipFileList << archive;
        return true;
    }
    const QString message =
        QStringLiteral("The selection ") + line + QStringLiteral(" names no archive of the backup.");
    ReportArchiveError(message, InvalidArgumentCode);
    if (isFile)
        LogFailedEntry(line, InvalidArgumentCode);
    return false;
}

void TRestoreZipThread::CollectEntries()
{
    FileSize = 0;
    TCollection collection;
    for (const QString &line : Include())
        collection.FolderKeys.insert(line.toCaseFolded());
    collection.Files = FileList();
    for (qsizetype i = 0; i < collection.Files.size(); ++i) {
        collection.Exact.insert(EntryKey(collection.Files.at(i)), i);
        collection.Folded.insert(collection.Files.at(i).toCaseFolded(), i);
    }

    QStringList unseen = ZipFileList;
    std::vector<TFolderEntry> archives;
    ListFolder(Source(), archives);
    for (const TFolderEntry &archive : archives) {
        if (Terminated())
            break;
        if (archive.Kind != TFolderEntry::ekFile ||
            !archive.Name.endsWith(ArchiveExtension, Qt::CaseInsensitive))
            continue;
        StatuesInfo = QStringLiteral("Searching Files... : ") + Source() + archive.Name;
        ReportStatus();
        if (unseen.removeIf([&](const QString &name) {
                return name.compare(archive.Name, Qt::CaseInsensitive) == 0;
            }) != 0)
            CollectArchive(archive.Name, collection);
    }
    // A selected archive that is not there: opening it says so, once.
    for (const QString &archive : std::as_const(unseen)) {
        if (Terminated())
            break;
        CollectArchive(archive, collection);
    }
    SetFileList(collection.Files);
}

void TRestoreZipThread::CollectArchive(const QString &archive, TCollection &collection)
{
    QList<TZipEntryInfo> entries;
    try {
        TZipArchive reader;
        reader.Open(Source() + archive, TZipOpenMode::Read);
        entries = reader.Entries();
    } catch (const EZipError &error) {
        FailArchive(archive, error.Message(), error.Code());
        return;
    }
    const QString prefix = archive + QLatin1Char('\\');
    const QString keyPrefix = archive.toCaseFolded() + QLatin1Char('\\');
    QStringList insides;
    insides.reserve(entries.size());
    for (const TZipEntryInfo &entry : std::as_const(entries))
        insides << TZipArchive::LetterPathOf(entry.Name, entry.UnixNames);

    // The archive of a case-sensitive disk may hold "Report.txt" beside
    // "report.txt": a chosen line takes the entry of exactly its name first,
    // and one in another case only an entry that no line names exactly.
    std::vector<bool> taken(entries.size(), false);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto chosen = collection.Exact.constFind(keyPrefix + insides.at(i));
        if (chosen != collection.Exact.constEnd() && !collection.Resolved.contains(*chosen)) {
            Select(collection, *chosen, prefix + insides.at(i), entries.at(i));
            taken[i] = true;
        }
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (taken[i])
            continue;
        const QString &inside = insides.at(i);
        const QString line = prefix + inside;
        const auto chosen = collection.Folded.constFind(line.toCaseFolded());
        if (chosen != collection.Folded.constEnd() && !collection.Resolved.contains(*chosen)) {
            Select(collection, *chosen, line, entries.at(i));
            continue;
        }
        // A folder line takes the entries stored directly in that folder,
        // each once (a damaged archive may name one twice).
        const QString folder = prefix + inside.left(inside.lastIndexOf(QLatin1Char('\\')) + 1);
        const QString key = keyPrefix + inside;
        if (!collection.FolderKeys.contains(folder.toCaseFolded()) || collection.Exact.contains(key))
            continue;
        const qsizetype index = collection.Files.size();
        collection.Files << line;
        collection.Exact.insert(key, index);
        Select(collection, index, line, entries.at(i));
    }
}

void TRestoreZipThread::Select(TCollection &collection, qsizetype index, const QString &line,
                               const TZipEntryInfo &entry)
{
    collection.Files[index] = line; // the stored spelling, for the log
    collection.Resolved.insert(index);
    FileSize += qint64(entry.Size);
    FSelected.insert(EntryKey(line), {entry.Name, qint64(entry.Size), entry.UnixNames});
}

void TRestoreZipThread::FailArchive(const QString &archive, const QString &message, int code)
{
    FFailedArchives.insert(archive.toCaseFolded(), {message, code});
    ReportArchiveError(message, code);
    // Its folder lines find no entries now; each is shown as not restored.
    for (const QString &line : Include()) {
        if (ArchiveOf(line).compare(archive, Qt::CaseInsensitive) == 0)
            LogFailedEntry(line.mid(archive.size() + 1), code);
    }
}

void TRestoreZipThread::RestoreLine(const QString &line)
{
    const QString archive = ArchiveOf(line);
    const QString name = line.mid(archive.size() + 1);
    if (Source() + archive != FArchivePath)
        SelectArchive(archive, line);
    const auto selected = FSelected.constFind(EntryKey(line));
    if (selected != FSelected.constEnd()) {
        RestoreEntry(name, *selected);
    } else {
        // Not in the archive (the extraction says so) or its archive could
        // not be read.
        RestoreEntry(name, {TZipArchive::EntryNameOf(name), 0, true});
    }
}

void TRestoreZipThread::SelectArchive(const QString &archive, const QString &line)
{
    Zip->Close();
    FArchivePath = Source() + archive;
    FArchiveFailure.reset();
    ExtrBaseDir = ExtractBaseDir(line);
    const auto known = FFailedArchives.constFind(archive.toCaseFolded());
    if (known != FFailedArchives.constEnd()) {
        FArchiveFailure = *known; // reported when it was searched
        return;
    }
    TArchiveFailure failure;
    if (ExtrBaseDir.isEmpty()) {
        failure = {QStringLiteral("Cannot tell where the files of ") + FArchivePath +
                       QStringLiteral(" belong: its name names no drive or server. Choose a folder to "
                                      "restore to."),
                   InvalidArgumentCode};
    } else {
        try {
            if (!DirectoryExists(ExtrBaseDir))
                ForceFolder(ExtrBaseDir);
            Zip->Open(FArchivePath, TZipOpenMode::Read);
            return;
        } catch (const EZipError &error) {
            failure = {error.Message(), error.Code()};
        } catch (const ETrovaloError &error) {
            failure = {error.Message(), CannotOpenCode};
        }
    }
    FArchiveFailure = failure;
    FFailedArchives.insert(archive.toCaseFolded(), failure);
    ReportArchiveError(failure.Message, failure.Code);
}

void TRestoreZipThread::RestoreEntry(const QString &name, const TSelectedEntry &entry)
{
    if (Terminated())
        return;
    StatuesInfo = QStringLiteral("File : ") + ExtrBaseDir + name;
    ++PbarPosition;
    ReportStatus();
    int code = 0;
    bool extracted = false;
    if (FArchiveFailure)
        code = FArchiveFailure->Code;
    else
        extracted = ExtractEntry(name, entry, code);
    if (extracted || code == 0) {
        LogEventFileName = name;
        LogEventAction = UnZipAction;
        // A cancel inside the entry: nothing was written, no error to show.
        LastError = 0;
        SetLogResult(extracted);
        ReportLog();
    } else {
        LogFailedEntry(name, code);
    }
    FileSizeProcessed += entry.Size;
    ReportStatus();
}

bool TRestoreZipThread::ExtractEntry(const QString &name, const TSelectedEntry &entry, int &code)
{
    FileOperation = QStringLiteral("Unziping File: ") + name;
    FilePercentage = 0;
    // The entry goes to a temporary file that replaces the old one only when
    // complete and verified: nothing is deleted beforehand.
    const auto progress = [this](const TCopyProgress &done) {
        FilePercentage = done.Total != 0 ? double(done.Done) * 100.0 / double(done.Total) : 100.0;
        ReportFileProgress();
        return !Terminated();
    };
    try {
        const QString target = TZipArchive::TargetBelow(ExtrBaseDir, entry.Stored, entry.UnixNames);
        SweepFolderOnce(ExtractFilePath(target));
        return Zip->ExtractEntry(entry.Stored, target, progress);
    } catch (const EZipError &error) {
        code = error.Code();
        ReportArchiveError(error.Message(), code);
    } catch (const ETrovaloError &error) {
        code = CannotOpenCode;
        ReportArchiveError(error.Message(), code);
    }
    return false;
}

void TRestoreZipThread::LogFailedEntry(const QString &name, int code)
{
    LogEventFileName = name;
    LogEventAction = UnZipAction;
    LogEvent = eFailedorSkip;
    LogEventInfo = QStringLiteral("Error Code ") + QString::number(code);
    ReportLog();
}

void TRestoreZipThread::ReportFailure(const QString &message)
{
    Sta = ErrorPrefix + message;
    ErrorCode = -1;
    ReportError();
}

} // namespace trovalo
