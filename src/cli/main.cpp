// trovalo-cli: the headless front end over the same core as the tray program.
#include "CommandLine.h"
#include "Commands.h"

#include "base/Exceptions.h"
#include "base/Logging.h"
#include "model/ProgramIdentity.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>

using namespace trovalo::cli;

namespace {
struct TCommandEntry
{
    const char *Name;
    const char *Summary;
    std::function<int(TCliContext &)> Run;
};

const TCommandEntry Commands[] = {
    {"drives", "list the drives with letter, folder, label, bus type and space", DrivesCommand},
    {"show", "show FILE: print a job file or settings file as JSON", ShowCommand},
    {"save", "save FILE --class NAME: write a record from JSON read on standard input", SaveCommand},
    {"new", "new backup|move|sync OPTIONS: create a job file on a USB drive", NewCommand},
    {"list", "list DRIVE: the jobs stored on a drive (name, kind, last run, file)", ListCommand},
    {"run", "run JOBFILE [--yes]: run a backup or move job, showing its progress", RunCommand},
    {"runs", "runs JOBFILE: the runs of a backup job that can be restored", RunsCommand},
    {"restore", "restore JOBFILE [--run N] [--item PATH] [--to FOLDER]: put backed-up files back",
     RestoreCommand},
    {"schedule", "schedule list|add|remove|enable|disable: the schedules that start jobs by themselves",
     ScheduleCommand},
    {"eject", "eject DRIVE: remove a USB drive safely (unmount it and switch it off)", EjectCommand},
    {"service", "service [--conflicts=...]: run the schedules and drive-insertion jobs without windows",
     ServiceCommand},
    {"demo", "walk through what Trovalo does, on two drives made in a temporary folder", DemoCommand},
};

void PrintHelp(QTextStream &out)
{
    out << "Usage: trovalo-cli COMMAND [ARGUMENTS]\n"
           "       trovalo-cli --help | --version\n\nCommands:\n";
    for (const TCommandEntry &command : Commands)
        out << "  " << QString::fromLatin1(command.Name).leftJustified(9) << command.Summary << "\n";
    out << "\nOptions of every command:\n"
           "  --verbose  also show on standard error what happens (deletions, drives, databases);\n"
           "             without it only warnings and errors are shown there\n";
    out << "\nPaths may be given as Linux paths (/media/ann/STICK/Config/x.Zja) or in the\n"
           "drive-letter form Trovalo stores (E:\\Config\\x.Zja).\n";
}
} // namespace

int main(int argc, char *argv[])
{
    trovalo::InstallLogHandler();
    QCoreApplication application(argc, argv);
    QTextStream out(stdout), err(stderr), in(stdin);
    QStringList arguments = application.arguments().mid(1);
    trovalo::SetQuietLogging(!TakeVerboseOption(arguments));

    if (arguments.isEmpty() || arguments.first() == QLatin1String("help") ||
        arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h")) {
        PrintHelp(arguments.isEmpty() ? err : out);
        return arguments.isEmpty() ? ExitBadInput : ExitOk;
    }
    if (arguments.first() == QLatin1String("--version")) {
        out << "trovalo-cli " << trovalo::ProgramVersionNumber << "\n";
        return ExitOk;
    }

    const QString name = arguments.takeFirst();
    QStringList names;
    for (const TCommandEntry &command : Commands) {
        names << QString::fromLatin1(command.Name);
        if (name != QLatin1String(command.Name))
            continue;
        TCliContext context{arguments, out, err, in};
        try {
            return command.Run(context);
        } catch (const TCliFailure &failure) {
            out.flush();
            err << "trovalo-cli " << name << ": " << failure.Message << "\n";
            return failure.Status;
        } catch (const trovalo::ETrovaloError &error) {
            out.flush();
            err << "trovalo-cli " << name << ": " << error.Message() << "\n";
            return ExitErrors;
        }
    }
    const QString nearest = NearestWord(name, names);
    err << "trovalo-cli: unknown command '" << name << "'";
    if (!nearest.isEmpty())
        err << "; did you mean '" << nearest << "'?";
    err << "\n\n";
    PrintHelp(err);
    return ExitBadInput;
}
