#include "E2eSteps.h"

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

} // namespace trovalo::test::e2e
