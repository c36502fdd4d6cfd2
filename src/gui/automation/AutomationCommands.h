#pragma once

#include <QJsonObject>
#include <QString>

class QObject;

namespace trovalo {

// Carries out one request of the automation protocol on the program's own
// windows (see AutomationServer.h). A request is a JSON object with "cmd";
// the reply always holds "ok", and "error" with a reason when ok is false.
//
// Controls are named by a path: the first step names a top-level window by
// its objectName or class name ("trovalo::TNewDrive", "TrayMenu"), each
// further step a descendant by objectName or class name, searched at any
// depth ("trovalo::TNewDrive/ThreadState/trovalo::TThreadStatuesFrame/
// ListView"). Where several match, a visible widget is preferred.
//
// A request that presses something which may open a modal window (clicks,
// triggers, double clicks, answering a message box or a file dialog) only
// queues the press: it happens after the reply has gone out, so the reply
// never waits behind the modal window's event loop.
class TAutomationCommands
{
public:
    static QJsonObject Execute(const QJsonObject &request);

    // The object a path names; null with a reason in *error.
    static QObject *Resolve(const QString &path, QString *error);
    // Class, name, visibility, enabled state, global geometry and the text
    // or value of the control (or the action's text and state).
    static QJsonObject Describe(const QObject *object);
    // Text as the user reads it: markup removed, line breaks as "\n".
    static QString PlainText(const QString &text);
    // A caption without its mnemonic markers ("&Yes" -> "Yes", "&&" -> "&").
    static QString CaptionText(const QString &text);
};

} // namespace trovalo
