#pragma once

#include "E2eSession.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Steps a user takes in the real program, shared by the desktop suites.
namespace trovalo::test::e2e {

inline const QString Console = QStringLiteral("trovalo::TNewDrive");
inline const QString JobList = Console + QStringLiteral("/ListView1");
// The panel on the console's selected tab (the others are hidden).
inline const QString Panel = Console + QStringLiteral("/ThreadState/trovalo::TThreadStatuesFrame");
inline const QString OpenDrive = QStringLiteral("trovalo::TOpenFlash");

QString Json(const QJsonObject &object);
bool Ok(const QJsonObject &reply);
QJsonObject Find(TE2eSession &session, const QString &path);
QJsonObject Click(TE2eSession &session, const QString &path);
// The rows of an item view, each as its cells' texts.
QList<QStringList> Rows(TE2eSession &session, const QString &path);
bool Visible(TE2eSession &session, const QString &path);
// Whether a message box is shown now.
bool MessageBoxShown(TE2eSession &session);

// Tray menu "Open Drive", pick the stick, "Next": the stick's console opens.
// Empty when it did, else what went wrong.
QString OpenConsoleOfStick(TE2eSession &session, bool screenshot);

inline const QString Chooser = QStringLiteral("trovalo::TRatioBoxEx");
inline const QString InputBox = QStringLiteral("trovalo::TInputBox");

QJsonObject SetText(TE2eSession &session, const QString &path, const QString &text);
// A folder tree: Item made current, or checked / unchecked.
QJsonObject TreePath(TE2eSession &session, const QString &tree, const QString &item);
QJsonObject CheckPath(TE2eSession &session, const QString &tree, const QString &item, bool check);
QStringList Texts(const QJsonValue &array);
// The page a wizard shows (the one visible child of its page stack).
QString PageOf(TE2eSession &session, const QString &wizard);
// "Next", then waits for Page; empty when it came, else what went wrong.
QString NextTo(TE2eSession &session, const QString &wizard, const QString &page);
// A screenshot of the wizard with TROVALO_SCREENSHOTS; empty when taken.
QString Shot(TE2eSession &session, const QString &wizard, const QString &name);
// The direction chooser: pick Choice and press OK.
QString ChooseDirection(TE2eSession &session, int choice);
// "New Folder" in a window, named Name through the input box.
QString MakeFolder(TE2eSession &session, const QString &window, const QString &name,
                   const QString &button = QStringLiteral("NewFolder"));
// The completion message of a run, answered; empty when it said the run
// completed without errors.
QString RunFinished(TE2eSession &session);
// A key anywhere in a JSON value (the command line's `show` output).
QJsonValue FindKey(const QJsonValue &value, const QString &key);
// The one job file matching Pattern in the stick's Config folder, copied
// beside the screenshots; empty when there is not exactly one.
QString SavedJob(const TE2eSession &session, const QString &pattern);

// A backup job "Docs" of the given computer folders into E:\Backup, made
// the way a user of the command line makes one; its file name in E:\Config,
// empty when `new` failed.
QString MakeBackupJob(const TE2eSession &session, const QStringList &sources);

} // namespace trovalo::test::e2e

// Skips when the machine lacks a tool of the session; fails when it does
// not start.
#define START_SESSION(session)                                                                               \
    do {                                                                                                     \
        if (const QString missing = TE2eSession::MissingTools(); !missing.isEmpty())                         \
            QSKIP(qPrintable(missing));                                                                      \
        QString startError;                                                                                  \
        QVERIFY2((session).Start(&startError), qPrintable(startError));                                      \
    } while (false)

#define CHECK_STEP(step)                                                                                     \
    do {                                                                                                     \
        const QString failure = (step);                                                                      \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                                                    \
    } while (false)
