#include "engine/RestoreFolderThread.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "engine/TargetFolder.h"
#include "model/FileFilter.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/FolderListing.h"

#include <cerrno>
#include <vector>

namespace trovalo {

namespace {

const QString CopyFileAction = QStringLiteral("Copy File");
const QString FilePrefix = QStringLiteral("File : ");
const QString ErrorPrefix = QStringLiteral("Thread Error : Class = TCopyFolderThread : ");

// The former place of a path relative to the run folder: its first level
// names a drive letter (C\Users\ -> C:\Users\) or a server (__srv\data\ ->
// \\srv\data\). Empty when it names neither.
QString FormerPlace(const QString &relative)
{
    if (relative.size() >= 2 && IsDriveLetter(relative.at(0)) && relative.at(1) == QLatin1Char('\\'))
        return relative.left(1) + QLatin1Char(':') + relative.mid(1);
    if (relative.size() == 1 && IsDriveLetter(relative.at(0)))
        return relative + QLatin1Char(':');
    // Only the leading "__" stands for "\\": names below may hold "__" of
    // their own.
    if (!relative.startsWith(QLatin1String("__")))
        return QString();
    if (relative.size() <= 2 || relative.at(2) == QLatin1Char('\\'))
        return QString(); // no server name
    return QStringLiteral("\\\\") + relative.mid(2);
}

} // namespace

TRestoreFolderThread::TRestoreFolderThread(QObject *parent)
    : TRestoreThreadBase(parent)
{
    // Qt gives the system thread this name when it starts (for debuggers).
    setObjectName(QStringLiteral("RestoreFolderThread"));
}

QString TRestoreFolderThread::MapBack(const QString &path)
{
    const QString source = Source();
    QString relative = path;
    if (!source.isEmpty() && path.startsWith(source, Qt::CaseInsensitive))
        relative = path.mid(source.size());
    if (!RestoreDir().isEmpty()) {
        SetRestoreDir(IncludeTrailingBackslash(RestoreDir()));
        // The drive or server level stays, so files of several drives
        // cannot meet in one folder.
        return RestoreDir() + relative;
    }
    return FormerPlace(relative);
}

void TRestoreFolderThread::Execute()
{
    // A restore reads a backup; it records no run of its own.
    SetLogFileName(QString());
    TRestoreThreadBase::Execute();
    try {
        CountSingleFiles();
        StartClock();
        const QStringList includes = Include();
        for (const QString &line : includes) {
            if (Terminated())
                break;
            const QString target = MapBack(line);
            if (CanRestoreTo(line, target))
                RestoreFolder(IncludeTrailingBackslash(line), IncludeTrailingBackslash(target));
        }
        const QStringList files = FileList();
        for (const QString &line : files) {
            if (Terminated())
                break;
            const QString target = MapBack(line);
            if (CanRestoreTo(line, target))
                RestoreFile(InBackup(line), target);
        }
        StatuesInfo = ReachEnd(QStringLiteral(" Finished !"), QStringLiteral(" Canceled"));
        ReportStatus();
    } catch (const ETrovaloError &error) {
        ReportFailure(error.Message());
    } catch (const std::exception &error) {
        ReportFailure(QString::fromLocal8Bit(error.what()));
    }
}

void TRestoreFolderThread::CountSingleFiles()
{
    // The preparation counts the folders only (the file lines are relative
    // to Source); counting the single files too keeps the percentage within
    // 100.
    for (const QString &line : FileList()) {
        if (line.startsWith(Source(), Qt::CaseInsensitive))
            continue; // a file of Include, counted by the preparation
        const qint64 size = GetFileSize(InBackup(line));
        if (size >= 0) {
            FileNum += 1;
            FileSize += size;
        }
    }
}

QString TRestoreFolderThread::InBackup(const QString &line) const
{
    // Include lines naming files reach FileList as full paths.
    return line.startsWith(Source(), Qt::CaseInsensitive) ? line : Source() + line;
}

bool TRestoreFolderThread::CanRestoreTo(const QString &line, const QString &target)
{
    if (target.isEmpty()) {
        ReportFailure(QStringLiteral("Cannot tell where ") + line +
                      QStringLiteral(" belongs: the backup names no drive or server for it. Choose a "
                                     "folder to restore to."));
        return false;
    }
    // Copying a folder into itself would never end.
    const QString folder = IncludeTrailingBackslash(InBackup(line));
    if (IncludeTrailingBackslash(target).startsWith(folder, Qt::CaseInsensitive)) {
        ReportFailure(QStringLiteral("Cannot restore ") + line + QStringLiteral(" into ") + target +
                      QStringLiteral(": the target lies inside the backup being restored."));
        return false;
    }
    return true;
}

void TRestoreFolderThread::ReportFailure(const QString &message)
{
    Sta = ErrorPrefix + message;
    ErrorCode = -1;
    ReportError();
}

void TRestoreFolderThread::RestoreFolder(const QString &sourceDir, const QString &targetDir)
{
    std::vector<TFolderEntry> entries;
    int error = 0;
    // Asked again on failure for the reason, which the first try keeps.
    if (!ListSourceFolder(sourceDir, entries) && !ListFolder(sourceDir, entries, &error)) {
        LogEventFileName = sourceDir;
        LogEventAction = CopyFileAction;
        LastError = error != 0 ? error : ENOENT;
        SetLogResult(false);
        ReportLog();
        return;
    }
    if (!DirectoryExists(targetDir))
        ForceFolder(targetDir);
    TTargetFolder targets(targetDir);
    SweepLeftovers(targetDir, targets.Leftovers());
    const QHash<QString, QString> refused = RefusedEntries(entries, targetDir);
    for (const TFolderEntry &entry : entries) {
        if (Terminated())
            return;
        if (const auto why = refused.constFind(entry.Name); why != refused.constEnd()) {
            SkipRefusedEntry(sourceDir, entry, *why);
            continue;
        }
        const QString path = sourceDir + entry.Name;
        switch (entry.Kind) {
        case TFolderEntry::ekFolder: {
            const QString folder = path + QLatin1Char('\\');
            if (IsExcludedFolder(folder))
                break;
            RestoreFolder(folder, targetDir + entry.Name + QLatin1Char('\\'));
            ++PbarPosition;
            ReportStatus();
            break;
        }
        case TFolderEntry::ekFile:
            if (IsExcludedFile(FileFilter(), entry.Name, sourceDir)) {
                StatuesInfo.clear();
                FileSize -= entry.Size;
                ++PbarPosition;
                ReportStatus();
            } else {
                RestoreListedFile(path, targetDir + entry.Name, entry.Size, &entry,
                                  targets.Lacks(entry.Name));
            }
            break;
        case TFolderEntry::ekLinkToFolder:
        case TFolderEntry::ekBrokenLink:
        case TFolderEntry::ekOther:
            LogSkippedEntry(sourceDir, entry, CopyFileAction);
            break;
        case TFolderEntry::ekLeftover: // a temporary file in the backup, never data
            break;
        }
    }
}

void TRestoreFolderThread::RestoreFile(const QString &source, const QString &target)
{
    if (Terminated())
        return;
    if (!FileExists(source)) {
        // Chosen one by one, so its absence is worth a row.
        LogEventFileName = source;
        LogEventAction = CopyFileAction;
        LastError = ENOENT;
        SetLogResult(false);
        ReportLog();
        return;
    }
    SweepFolderOnce(ExtractFilePath(target));
    // The filter does not apply to files chosen one by one.
    RestoreListedFile(source, target, GetFileSize(source), nullptr, false);
}

void TRestoreFolderThread::RestoreListedFile(const QString &source, const QString &target, qint64 size,
                                             const TFolderEntry *entry, bool targetAbsent)
{
    StatuesInfo = FilePrefix + source;
    ++PbarPosition;
    ReportStatus();
    LogEventFileName = source;
    LogEventAction = CopyFileAction;
    // Restore threads never protect: a read-only file there loses its
    // attributes and is replaced.
    SetLogResult(CopyOneFile(source, target, false, false, entry, targetAbsent));
    FileSizeProcessed += size;
    ReportLog();
    ReportStatus();
}

} // namespace trovalo
