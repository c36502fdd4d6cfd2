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

// Tray menu "Open Drive", pick the stick, "Next": the stick's console opens.
// Empty when it did, else what went wrong.
QString OpenConsoleOfStick(TE2eSession &session, bool screenshot);

} // namespace trovalo::test::e2e
