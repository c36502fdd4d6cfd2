#include "CommandLine.h"
#include "Commands.h"
#include "Terminal.h"

#include "base/Exceptions.h"
#include "base/PathText.h"
#include "control/DriveConfig.h"
#include "control/SyncJobEditing.h"
#include "model/ArchiveData.h"
#include "model/JobFiles.h"
#include "model/SyncData.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "platform/VolumeInfo.h"

#include <QFile>

namespace trovalo::cli {

namespace {
struct TWordChoice
{
    const char *Word;
    int Value;
};

int PickWord(const QString &option, const QString &value, std::initializer_list<TWordChoice> choices)
{
    QStringList words;
    for (const TWordChoice &choice : choices) {
        if (value == QLatin1String(choice.Word))
            return choice.Value;
        words << QString::fromLatin1(choice.Word);
    }
    const QString nearest = NearestWord(value, words);
    throw TCliFailure{
        QStringLiteral("--%1: unknown value '%2'%3; choose one of: %4")
            .arg(option, value,
                 nearest.isEmpty() ? QString() : QStringLiteral(" (did you mean '%1'?)").arg(nearest),
                 words.join(QStringLiteral(", ")))};
}

// The options every kind of job shares, and those of one kind.
struct TNewJobSyntax
{
    QCommandLineOption Name{QStringLiteral("name"), QStringLiteral("the job's name"), QStringLiteral("NAME")};
    QCommandLineOption Drive{QStringLiteral("drive"), QStringLiteral("the USB drive that keeps the job"),
                             QStringLiteral("DRIVE")};
    QCommandLineOption Direction{QStringLiteral("direction"), QStringLiteral("copy direction"),
                                 QStringLiteral("DIR")};
    QCommandLineOption Type{QStringLiteral("type"), QStringLiteral("backup type"), QStringLiteral("TYPE")};
    QCommandLineOption Source{QStringLiteral("source"), QStringLiteral("a folder or file to copy"),
                              QStringLiteral("PATH")};
    QCommandLineOption Exclude{QStringLiteral("exclude"),
                               QStringLiteral("a folder or file inside a source to skip"),
                               QStringLiteral("PATH")};
    QCommandLineOption Destination{QStringLiteral("destination"), QStringLiteral("the destination folder"),
                                   QStringLiteral("FOLDER")};
    QCommandLineOption PasswordFile{QStringLiteral("password-file"),
                                    QStringLiteral("encrypt with the password on the file's first line"),
                                    QStringLiteral("FILE")};
    QCommandLineOption AskPassword{QStringLiteral("ask-password"),
                                   QStringLiteral("encrypt; ask for the password")};
    QCommandLineOption KeepSources{QStringLiteral("keep-sources"),
                                   QStringLiteral("move job: keep the source files after copying")};
    QCommandLineOption Pair{QStringLiteral("pair"), QStringLiteral("USBFOLDER=COMPUTERFOLDER"),
                            QStringLiteral("PAIR")};
    QCommandLineOption Conflicts{QStringLiteral("conflicts"),
                                 QStringLiteral("what to do when both sides changed"),
                                 QStringLiteral("RULE")};
    QCommandLineOption ExcludeExt{QStringLiteral("exclude-ext"),
                                  QStringLiteral("skip files with this extension"), QStringLiteral(".EXT")};
    QCommandLineOption ExcludeName{QStringLiteral("exclude-name"),
                                   QStringLiteral("skip files with this name or mask"),
                                   QStringLiteral("MASK")};
    QCommandLineOption SkipHidden{QStringLiteral("skip-hidden"), QStringLiteral("skip hidden files")};
    QCommandLineOption SkipSystem{QStringLiteral("skip-system"), QStringLiteral("skip system files")};
    QCommandLineOption SkipReadOnly{QStringLiteral("skip-readonly"), QStringLiteral("skip read-only files")};

    QList<QCommandLineOption> Common() const
    {
        return {Name, Drive, ExcludeExt, ExcludeName, SkipHidden, SkipSystem, SkipReadOnly};
    }
};

const QString BackupUsage = QStringLiteral(
    "trovalo-cli new backup --direction to-usb|from-usb|usb-to-usb\n"
    "         --type mirror|incremental|zip|versions|versions-zip --source PATH [--source PATH ...]\n"
    "         [--exclude PATH ...] --destination FOLDER [--name NAME] [--drive E:]\n"
    "         [--password-file FILE | --ask-password] [filter options]");
const QString MoveUsage =
    QStringLiteral("trovalo-cli new move --direction to-usb|from-usb --source FOLDER --destination FOLDER\n"
                   "         [--keep-sources] [--name NAME] [--drive E:] [filter options]");
const QString SyncUsage = QStringLiteral(
    "trovalo-cli new sync --pair USBFOLDER=COMPUTERFOLDER [--pair ...] [--direction "
    "both|to-computer|to-usb]\n"
    "         [--conflicts ask|skip|usb|computer|newest] [--name NAME] [--drive E:] [filter options]");
const QString FilterUsage = QStringLiteral(
    "\nFilter options: --exclude-ext .EXT, --exclude-name MASK (repeatable), --skip-hidden, --skip-system, "
    "--skip-readonly");

QString UserPath(const QString &option, const QString &value)
{
    try {
        return LetterPathFromUserInput(value);
    } catch (const EPathError &error) {
        throw TCliFailure{QStringLiteral("--%1: %2").arg(option, error.Message())};
    }
}

// An existing folder (with a trailing backslash) or, when allowed, file.
QString ExistingPath(const QString &option, const QString &value, bool filesToo)
{
    const QString path = ExcludeTrailingBackslash(UserPath(option, value));
    if (DirectoryExists(path))
        return IncludeTrailingBackslash(path);
    if (filesToo && FileExists(path))
        return path;
    throw TCliFailure{QStringLiteral("--%1: %2 (%3) is not an existing %4")
                          .arg(option, path, ToNativePath(path).value_or(value),
                               filesToo ? QStringLiteral("folder or file") : QStringLiteral("folder"))};
}

QString DriveOf(const QString &path)
{
    return ExtractFileDrive(path).toUpper();
}

bool OnDrive(const QString &path, const QString &drive)
{
    return DriveOf(path).compare(drive, Qt::CaseInsensitive) == 0;
}

// The drive that keeps the job file: --drive, or the one the job implies.
QString JobDrive(const QCommandLineParser &parser, const TNewJobSyntax &syntax, const QString &implied)
{
    QString drive = implied;
    if (parser.isSet(syntax.Drive)) {
        QString value = parser.value(syntax.Drive);
        // "E" names the drive as "E:" does (as the list command takes it).
        if (value.size() == 1 && value.at(0).isLetter())
            value += QLatin1Char(':');
        drive = DriveOf(UserPath(QStringLiteral("drive"), IncludeTrailingBackslash(value)));
        if (drive.isEmpty() || drive.startsWith(QLatin1String("\\\\")))
            throw TCliFailure{QStringLiteral("--drive: give a drive letter such as E:")};
    }
    if (drive.isEmpty() || drive.startsWith(QLatin1String("\\\\")))
        throw TCliFailure{
            QStringLiteral("--drive: the job file must be kept on a drive with a letter, such as E:")};
    if (!TDriveTable::Instance().Drive(drive.at(0)))
        throw TCliFailure{QStringLiteral("--drive: there is no drive %1 on this computer").arg(drive)};
    if (drive == QLatin1String("C:"))
        throw TCliFailure{QStringLiteral("--drive: jobs are kept on the USB drive they belong to, not on the "
                                         "computer's system drive C:")};
    return drive;
}

void ApplyFilter(TFileFilter &filter, const QCommandLineParser &parser, const TNewJobSyntax &syntax)
{
    QStringList extensions;
    for (const QString &value : parser.values(syntax.ExcludeExt)) {
        const QString extension = value.toLower();
        if (!extension.startsWith(QLatin1Char('.')) || extension.size() < 2)
            throw TCliFailure{
                QStringLiteral("--exclude-ext: '%1' must start with a dot, for example .%1").arg(value)};
        if (!extensions.contains(extension))
            extensions << extension;
    }
    QStringList masks;
    for (const QString &value : parser.values(syntax.ExcludeName)) {
        if (!masks.contains(value.toLower()))
            masks << value.toLower();
    }
    filter.SetExcludeFileExtList(extensions);
    filter.SetExcludeMaskList(masks);
    filter.SetHidden(parser.isSet(syntax.SkipHidden));
    filter.SetSystem(parser.isSet(syntax.SkipSystem));
    filter.SetReadOnly(parser.isSet(syntax.SkipReadOnly));
}

QString ReadPassword(const QCommandLineParser &parser, const TNewJobSyntax &syntax)
{
    if (parser.isSet(syntax.PasswordFile) && parser.isSet(syntax.AskPassword))
        throw TCliFailure{QStringLiteral("--password-file and --ask-password: give only one of them")};
    QString password;
    if (parser.isSet(syntax.PasswordFile)) {
        password = ReadFirstLine(parser.value(syntax.PasswordFile));
    } else if (parser.isSet(syntax.AskPassword)) {
        const std::optional<QString> first = ReadSecret(QStringLiteral("Password: "));
        if (!first)
            throw TCliFailure{
                QStringLiteral("--ask-password: there is no terminal to ask on; use --password-file")};
        const std::optional<QString> second = ReadSecret(QStringLiteral("Password again: "));
        if (second != first)
            throw TCliFailure{
                QStringLiteral("Password you entered does not match. Please reenter the password.")};
        password = *first;
    } else {
        return {};
    }
    if (password.isEmpty())
        throw TCliFailure{QStringLiteral("Password not set. Please enter a the password.")};
    return password;
}

// Saves a new job the way the job console does: in the drive's Config folder
// under a time-stamped name, clearing leftovers of an earlier job of that name.
QString SaveNewJob(TSaveLoadComponent &job, const QString &drive, TJobKind kind)
{
    const QString driveRoot = drive + QStringLiteral("\\");
    EnsureConfigFolder(driveRoot);
    const QString fileName = NewJobFileName(driveRoot, kind, QDateTime::currentDateTime());
    for (const QString &leftover : {JobDatabaseFileName(fileName), fileName}) {
        if (FileExists(leftover))
            QFile::remove(NativePath(leftover));
    }
    SaveToFile(job, fileName);
    return fileName;
}

void Report(QTextStream &out, const QString &what, const QString &name, const QString &fileName)
{
    out << "Created " << what << (name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name)) << "\n  "
        << fileName << "\n  (" << NativePath(fileName) << ")\n";
}

int NewArchiveJob(TCliContext &context, bool move)
{
    TNewJobSyntax syntax;
    QList<QCommandLineOption> options = syntax.Common();
    options << syntax.Direction << syntax.Source << syntax.Destination;
    if (move)
        options << syntax.KeepSources;
    else
        options << syntax.Type << syntax.Exclude << syntax.PasswordFile << syntax.AskPassword;
    QCommandLineParser parser;
    ParseCommand(parser, {(move ? MoveUsage : BackupUsage) + FilterUsage, options, 0, 0}, context.Arguments);

    for (const QCommandLineOption &required :
         {syntax.Direction, syntax.Source, syntax.Destination, move ? syntax.Direction : syntax.Type}) {
        if (!parser.isSet(required))
            throw TCliFailure{QStringLiteral("--%1 is missing\nUsage: %2")
                                  .arg(required.names().first(), move ? MoveUsage : BackupUsage)};
    }
    const auto direction =
        move ? static_cast<TArchiveDir>(PickWord(QStringLiteral("direction"), parser.value(syntax.Direction),
                                                 {{"to-usb", amPcToUsb}, {"from-usb", amUsbToPc}}))
             : static_cast<TArchiveDir>(
                   PickWord(QStringLiteral("direction"), parser.value(syntax.Direction),
                            {{"to-usb", amPcToUsb}, {"from-usb", amUsbToPc}, {"usb-to-usb", amUsbToUSB}}));
    const int backupSystem =
        move
            ? 0
            : PickWord(QStringLiteral("type"), parser.value(syntax.Type),
                       {{"mirror", 0}, {"incremental", 1}, {"zip", 2}, {"versions", 3}, {"versions-zip", 4}});

    QStringList sources;
    for (const QString &value : parser.values(syntax.Source))
        sources << ExistingPath(QStringLiteral("source"), value, !move);
    if (move && sources.size() != 1)
        throw TCliFailure{QStringLiteral("--source: a move job moves exactly one folder")};
    const QString destination =
        ExistingPath(QStringLiteral("destination"), parser.value(syntax.Destination), false);
    QStringList excludes;
    for (const QString &value : move ? QStringList() : parser.values(syntax.Exclude)) {
        const QString path = ExistingPath(QStringLiteral("exclude"), value, true);
        const bool inside = std::any_of(sources.cbegin(), sources.cend(), [&](const QString &source) {
            return source.endsWith(QLatin1Char('\\')) && path.startsWith(source, Qt::CaseInsensitive) &&
                   path.size() > source.size();
        });
        if (!inside)
            throw TCliFailure{
                QStringLiteral("--exclude: %1 lies inside none of the source folders").arg(path)};
        excludes << path;
    }

    const QString drive =
        JobDrive(parser, syntax, DriveOf(direction == amUsbToPc ? sources.first() : destination));
    const QString kindWord = move ? QStringLiteral("move job") : QStringLiteral("backup job");
    if (direction == amUsbToPc) {
        for (const QString &source : sources)
            if (!OnDrive(source, drive))
                throw TCliFailure{
                    QStringLiteral("--source: a %1 from USB copies from the job's drive %2, but %3 is "
                                   "elsewhere")
                        .arg(kindWord, drive, source)};
        if (OnDrive(destination, drive))
            throw TCliFailure{
                QStringLiteral("--destination: a %1 from USB copies to the computer, not back onto %2")
                    .arg(kindWord, drive)};
    } else {
        if (!OnDrive(destination, drive))
            throw TCliFailure{
                QStringLiteral("--destination: the job copies onto its drive %1, but %2 is elsewhere")
                    .arg(drive, destination)};
        for (const QString &source : sources)
            if (OnDrive(source, drive))
                throw TCliFailure{
                    QStringLiteral("--source: %1 is on the job's own drive %2; choose --direction "
                                   "from-usb to copy from it")
                        .arg(source, drive)};
    }

    const QString pcId = ComputePCID();
    TArchiveData job;
    ApplyNewArchiveJobDefaults(job, pcId);
    job.SetBackupName(parser.value(syntax.Name));
    job.SetArchiveDir(direction);
    job.SetBackupSystem(backupSystem);
    if (move) {
        job.SetArchiveMode(amMove);
        job.SetArchiveType(atFile);
        job.SetDeleteFile(!parser.isSet(syntax.KeepSources));
    } else {
        const TBackupSystemChoice choice = *BackupSystemMode(backupSystem);
        job.SetArchiveMode(choice.Mode);
        job.SetArchiveType(choice.Type);
        const QString password = ReadPassword(parser, syntax);
        if (!password.isEmpty() && choice.Type != atImage)
            throw TCliFailure{
                QStringLiteral("--password-file/--ask-password: only zip backups (--type zip or "
                               "versions-zip) are encrypted")};
        job.SetPassword(password);
    }
    // Single files chosen in the source tree are part of its include list.
    job.SetFolderList(sources);
    job.SetExcludeList(excludes);
    job.SetDestination(destination);
    ApplyFilter(*job.FileFilter(), parser, syntax);
    job.SetPCID(pcId);
    job.SetGUID(TSaveLoadComponent::NewGuidText());

    const QString fileName = SaveNewJob(job, drive, move ? TJobKind::Move : TJobKind::Backup);
    Report(context.Out,
           JobKindCaption(move ? TJobKind::Move : TJobKind::Backup, direction) + QStringLiteral(" job"),
           job.BackupName(), fileName);
    return ExitOk;
}

int NewSyncJob(TCliContext &context)
{
    TNewJobSyntax syntax;
    QList<QCommandLineOption> options = syntax.Common();
    options << syntax.Pair << syntax.Direction << syntax.Conflicts;
    QCommandLineParser parser;
    ParseCommand(parser, {SyncUsage + FilterUsage, options, 0, 0}, context.Arguments);
    if (!parser.isSet(syntax.Pair))
        throw TCliFailure{QStringLiteral("--pair is missing\nUsage: %1").arg(SyncUsage)};

    const auto direction = static_cast<TSyncDirection>(
        PickWord(QStringLiteral("direction"),
                 parser.isSet(syntax.Direction) ? parser.value(syntax.Direction) : QStringLiteral("both"),
                 {{"both", sdBidi}, {"to-computer", sdToComputerOnly}, {"to-usb", sdToUsbDriveOnly}}));
    const auto conflicts = static_cast<TSyncDefaultAction>(
        PickWord(QStringLiteral("conflicts"),
                 parser.isSet(syntax.Conflicts) ? parser.value(syntax.Conflicts) : QStringLiteral("ask"),
                 {{"ask", sdaAsk},
                  {"skip", sdaNothing},
                  {"usb", sdaUseUsbDriveVersion},
                  {"computer", sdaUseComputerVersion},
                  {"newest", sdaNewVersion}}));

    QStringList usbFolders, computerFolders;
    QList<TSyncFolderPair> pairs;
    QString impliedDrive;
    for (const QString &pair : parser.values(syntax.Pair)) {
        const QStringList sides = pair.split(QLatin1Char('='));
        if (sides.size() != 2 || sides[0].isEmpty() || sides[1].isEmpty())
            throw TCliFailure{QStringLiteral("--pair: '%1' should be USBFOLDER=COMPUTERFOLDER").arg(pair)};
        const QString usb = ExcludeTrailingBackslash(ExistingPath(QStringLiteral("pair"), sides[0], false));
        const QString computer =
            ExcludeTrailingBackslash(ExistingPath(QStringLiteral("pair"), sides[1], false));
        if (const QString problem = SyncPairProblem(usb, computer, pairs); !problem.isEmpty())
            throw TCliFailure{QStringLiteral("--pair: ") +
                              QString(problem).replace(QStringLiteral("\r\n"), QStringLiteral(" "))};
        if (impliedDrive.isEmpty())
            impliedDrive = DriveOf(usb);
        pairs << TSyncFolderPair{usb, computer};
        usbFolders << SyncSideAValue(usb);
        computerFolders << computer;
    }
    const QString drive = JobDrive(parser, syntax, impliedDrive);
    for (const QString &pair : parser.values(syntax.Pair)) {
        const QString usb = UserPath(QStringLiteral("pair"), pair.section(QLatin1Char('='), 0, 0));
        if (!OnDrive(usb, drive))
            throw TCliFailure{
                QStringLiteral("--pair: the USB folder %1 is not on the job's drive %2").arg(usb, drive)};
        const QString computer = UserPath(QStringLiteral("pair"), pair.section(QLatin1Char('='), 1));
        if (OnDrive(computer, drive))
            throw TCliFailure{QStringLiteral("--pair: the computer folder %1 is on the USB drive %2 itself")
                                  .arg(computer, drive)};
    }

    TSyncData job;
    InitNewSyncJob(job, ComputePCID(), DateTimeNow());
    if (parser.isSet(syntax.Name))
        job.SetSyncName(parser.value(syntax.Name));
    job.SetSyncDirection(direction);
    job.SetSyncDefaultAction(conflicts);
    job.SetFolderAList(usbFolders);
    job.SetFolderBList(computerFolders);
    ApplyFilter(*job.FileFilter(), parser, syntax);

    const QString fileName = SaveNewJob(job, drive, TJobKind::Sync);
    Report(context.Out, JobKindCaption(TJobKind::Sync) + QStringLiteral(" job"), job.SyncName(), fileName);
    return ExitOk;
}
} // namespace

int NewCommand(TCliContext &context)
{
    const QString kinds = QStringLiteral("backup, move, sync");
    if (context.Arguments.isEmpty() || context.Arguments.first().startsWith(QLatin1Char('-')))
        throw TCliFailure{QStringLiteral("say which kind of job: %1\nUsage: %2\n   or: %3\n   or: %4")
                              .arg(kinds, BackupUsage, MoveUsage, SyncUsage)};
    const QString kind = context.Arguments.takeFirst();
    if (kind == QLatin1String("backup"))
        return NewArchiveJob(context, false);
    if (kind == QLatin1String("move"))
        return NewArchiveJob(context, true);
    if (kind == QLatin1String("sync"))
        return NewSyncJob(context);
    const QString nearest = NearestWord(kind, kinds.split(QStringLiteral(", ")));
    throw TCliFailure{
        QStringLiteral("unknown kind of job '%1'%2; choose one of: %3")
            .arg(kind, nearest.isEmpty() ? QString() : QStringLiteral(" (did you mean '%1'?)").arg(nearest),
                 kinds)};
}

} // namespace trovalo::cli
