#pragma once

#include <QString>

namespace trovalo {

// The user's private folder for run-time files such as locks and sockets
// (native path): the desktop's runtime folder (XDG_RUNTIME_DIR) when it is
// set and usable, else /tmp/trovalo-<uid>, made and checked to belong to
// this user alone (another user could otherwise plant files there). Raises
// EFileError when no such folder can be had.
QString UserRuntimeFolder();

// Makes Folder (native path) with mode 0700 when it is missing and checks
// that it is a folder of this user that no one else may enter. Raises
// EFileError when it cannot be made or is not private.
void MakePrivateFolder(const QString &folder);

} // namespace trovalo
