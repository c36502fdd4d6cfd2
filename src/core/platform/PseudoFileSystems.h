#pragma once

#include <QString>

namespace trovalo {

// /proc, /sys, /dev and /run: the kernel's pseudo file systems and the
// runtime state under "/". They hold nothing to back up, and walking them
// reads device memory, endless process folders and sockets, so the folder
// picker never lists them and a count never enters them. Native paths; a
// trailing "/" is ignored.
bool IsPseudoFileSystemFolder(const QString &nativePath);

} // namespace trovalo
