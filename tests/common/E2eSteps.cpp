#include "E2eSteps.h"

#include "CliProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace trovalo::test::e2e {

QString Json(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool Ok(const QJsonObject &reply)
{
    return reply.value(QStringLiteral("ok")).toBool();
}

QJsonObject Find(TE2eSession &session, const QString &path)
{
    return session.Call(QStringLiteral("find"), {{QStringLiteral("path"), path}});
}

QJsonObject Click(TE2eSession &session, const QString &path)
{
    return session.Call(QStringLiteral("click"), {{QStringLiteral("path"), path}});
}

QList<QStringList> Rows(TE2eSession &session, const QString &path)
{
    QList<QStringList> rows;
    const QJsonArray array = session.Call(QStringLiteral("rows"), {{QStringLiteral("path"), path}})
                                 .value(QStringLiteral("rows"))
                                 .toArray();
    for (const QJsonValue &row : array) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

bool Visible(TE2eSession &session, const QString &path)
{
    return Find(session, path).value(QStringLiteral("visible")).toBool();
}

QString OpenConsoleOfStick(TE2eSession &session, bool screenshot)
{
    const QJsonObject clicked = Click(session, QStringLiteral("TrayMenu/OpenDrive1"));
    if (!Ok(clicked))
        return QStringLiteral("tray menu \"Open Drive\": ") + Json(clicked);
    if (session.WaitForWindow(OpenDrive).isEmpty())
        return QStringLiteral("the \"Open Drive\" window did not open");
    const QString list = OpenDrive + QStringLiteral("/ShellListView1");
    QList<QStringList> rows;
    if (!TE2eSession::Until([&] { return !(rows = Rows(session, list)).isEmpty(); }))
        return QStringLiteral("\"Open Drive\" lists no drive");
    // Only USB drives: the computer's own disk C: is not offered.
    if (rows.size() != 1 || !rows.constFirst().join(QLatin1Char(' ')).contains(QLatin1String("STICK (E:)")))
        return QStringLiteral("\"Open Drive\" should list only the stick E:, not: %1")
            .arg(QString::fromUtf8(
                QJsonDocument(session.Call(QStringLiteral("rows"), {{"path", list}})).toJson()));
    const QJsonObject selected = session.Call(
        QStringLiteral("select"), {{QStringLiteral("path"), list}, {QStringLiteral("match"), "(E:)"}});
    if (!Ok(selected))
        return Json(selected);
    if (screenshot && !session.Screenshot(QStringLiteral("open-drive.png"), OpenDrive))
        return QStringLiteral("no screenshot of \"Open Drive\"");
    const QJsonObject next = Click(session, OpenDrive + QStringLiteral("/OKBtn"));
    if (!Ok(next))
        return QStringLiteral("\"Next\": ") + Json(next);
    const QJsonObject console = session.WaitForWindow(Console);
    if (console.isEmpty())
        return QStringLiteral("no console opened for the stick");
    if (console.value(QStringLiteral("title")).toString() != QLatin1String("New Drive Detected. E:\\"))
        return QStringLiteral("console caption: ") + console.value(QStringLiteral("title")).toString();
    return {};
}

QJsonObject SetText(TE2eSession &session, const QString &path, const QString &text)
{
    return session.Call(QStringLiteral("settext"),
                        {{QStringLiteral("path"), path}, {QStringLiteral("text"), text}});
}

QJsonObject TreePath(TE2eSession &session, const QString &tree, const QString &item)
{
    return session.Call(QStringLiteral("treepath"),
                        {{QStringLiteral("path"), tree}, {QStringLiteral("item"), item}});
}

QJsonObject CheckPath(TE2eSession &session, const QString &tree, const QString &item, bool check)
{
    return session.Call(
        QStringLiteral("treepath"),
        {{QStringLiteral("path"), tree}, {QStringLiteral("item"), item}, {QStringLiteral("check"), check}});
}

QStringList Texts(const QJsonValue &array)
{
    QStringList texts;
    for (const QJsonValue &value : array.toArray())
        texts << value.toString();
    return texts;
}

QString PageOf(TE2eSession &session, const QString &wizard)
{
    // The page shown is the one visible child of the page stack.
    for (const QString page : {"TabSheet1", "TabSheet2", "TargatFolder", "SourceFolderTab", "SoruceTab",
                               "DeleteFilesTab", "FileSelect", "Exclude", "Finish", "TabSheet4"})
        if (Visible(session, wizard + QStringLiteral("/Pages/") + page))
            return page;
    return {};
}

// "Next", then waits for Page; with TROVALO_SCREENSHOTS the page is kept.
QString NextTo(TE2eSession &session, const QString &wizard, const QString &page)
{
    const QJsonObject next = Click(session, wizard + QStringLiteral("/btnNext"));
    if (!Ok(next))
        return QStringLiteral("\"Next\": ") + Json(next);
    if (!TE2eSession::Until([&] { return PageOf(session, wizard) == page; }, 10000))
        return QStringLiteral("\"Next\" did not lead to %1 but to %2").arg(page, PageOf(session, wizard));
    return {};
}

QString Shot(TE2eSession &session, const QString &wizard, const QString &name)
{
    return session.Screenshot(name, wizard) ? QString() : QStringLiteral("no screenshot ") + name;
}

// The direction chooser: pick Choice and press OK.
QString ChooseDirection(TE2eSession &session, int choice)
{
    if (session.WaitForWindow(Chooser).isEmpty())
        return QStringLiteral("no direction chooser");
    const QJsonObject picked = Click(session, Chooser + QStringLiteral("/RadioItem%1").arg(choice));
    if (!Ok(picked))
        return Json(picked);
    const QJsonObject ok = Click(session, Chooser + QStringLiteral("/BtnOK"));
    return Ok(ok) ? QString() : Json(ok);
}

QString MakeFolder(TE2eSession &session, const QString &window, const QString &name, const QString &button)
{
    const QJsonObject clicked = Click(session, window + QLatin1Char('/') + button);
    if (!Ok(clicked))
        return QStringLiteral("\"New Folder\": ") + Json(clicked);
    if (session.WaitForWindow(InputBox).isEmpty())
        return QStringLiteral("no input box for the folder's name");
    const QJsonObject typed = SetText(session, InputBox + QStringLiteral("/Edit1"), name);
    const QJsonObject ok = Click(session, InputBox + QStringLiteral("/BtnOK"));
    return Ok(typed) && Ok(ok) ? QString() : Json(typed) + Json(ok);
}

// The completion message of the run the wizard started, answered.
QString RunFinished(TE2eSession &session)
{
    const QJsonObject box = session.WaitForMessageBox(120000);
    if (box.isEmpty())
        return QStringLiteral("no completion message");
    if (box.value(QStringLiteral("text")).toString() != QLatin1String("Job Completed."))
        return QStringLiteral("completion: ") + Json(box);
    if (!box.value(QStringLiteral("informative")).toString().contains(QLatin1String("Errors : 0")))
        return QStringLiteral("the run had errors: ") + Json(box);
    session.Call(QStringLiteral("press"), {{QStringLiteral("text"), QStringLiteral("OK")}});
    return {};
}

QJsonValue FindKey(const QJsonValue &value, const QString &key)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.contains(key))
            return object.value(key);
        for (const QJsonValue &child : object)
            if (const QJsonValue found = FindKey(child, key); !found.isUndefined())
                return found;
    } else if (value.isArray()) {
        for (const QJsonValue &child : value.toArray())
            if (const QJsonValue found = FindKey(child, key); !found.isUndefined())
                return found;
    }
    return QJsonValue(QJsonValue::Undefined);
}

// The one job file of a kind on the stick, also copied next to the screenshots.
QString SavedJob(const TE2eSession &session, const QString &pattern)
{
    const QDir config(session.Drives().Native('E', QStringLiteral("Config")));
    const QStringList jobs = config.entryList({pattern});
    if (jobs.size() != 1)
        return {};
    const QString folder = qEnvironmentVariable("TROVALO_SCREENSHOTS");
    if (!folder.isEmpty())
        QFile::copy(config.filePath(jobs.constFirst()), QDir(folder).filePath(jobs.constFirst()));
    return QStringLiteral("E:\\Config\\") + jobs.constFirst();
}

bool MessageBoxShown(TE2eSession &session)
{
    const QJsonArray windows =
        session.Call(QStringLiteral("windows")).value(QStringLiteral("windows")).toArray();
    for (const QJsonValue &window : windows) {
        if (window.toObject().value(QStringLiteral("class")).toString() == QLatin1String("QMessageBox"))
            return true;
    }
    return false;
}

QString MakeBackupJob(const TE2eSession &session, const QStringList &sources)
{
    QDir().mkpath(session.Drives().Native('E', QStringLiteral("Backup")));
    QStringList arguments{QStringLiteral("new"),           QStringLiteral("backup"),
                          QStringLiteral("--direction"),   QStringLiteral("to-usb"),
                          QStringLiteral("--type"),        QStringLiteral("incremental"),
                          QStringLiteral("--destination"), QStringLiteral("E:\\Backup"),
                          QStringLiteral("--name"),        QStringLiteral("Docs")};
    for (const QString &source : sources)
        arguments << QStringLiteral("--source") << source;
    const TCliRun made = RunCli(arguments);
    if (made.Status != 0) {
        qWarning() << "trovalo-cli new:" << made.Out << made.Err;
        return {};
    }
    const QStringList jobs =
        QDir(session.Drives().Native('E', QStringLiteral("Config"))).entryList({QStringLiteral("*.Zja")});
    return jobs.size() == 1 ? jobs.constFirst() : QString();
}

} // namespace trovalo::test::e2e
