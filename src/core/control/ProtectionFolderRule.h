#pragma once

#include <QString>

#include <optional>

namespace trovalo {

// Whether a folder may be the deleted-files folder (the "Deleted File
// Protection folder"). Emptying that folder removes what lies in it, so it
// must not be, nor hold, a drive root (a stick mounted below it included),
// the user's home folder, the program's data folder (DataFolder, the
// drive-letter form of AppDataFolder) or that folder's ConfigData, where
// the settings and the program database live. A folder inside the data
// folder, such as the default "Deleted", is fine. Judged on canonical
// native paths, so a link to the home folder is the home folder.
//
// Returns why Folder (drive-letter form) is refused, as a sentence for the
// user; nullopt when it may be used.
std::optional<QString> ProtectionFolderRefusal(const QString &folder, const QString &dataFolder);

} // namespace trovalo
