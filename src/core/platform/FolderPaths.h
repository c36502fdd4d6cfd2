#pragma once

#include <QString>

namespace trovalo {

// The user's well-known folders and some applications' data folders, as
// the backup wizard offers them as quick picks. Every path is in the
// drive-letter form with a trailing "\"; "" when the folder has no letter
// form (it lies outside every drive). Read once, at construction:
//   Desktop, MyDocuments, MyPictures, MyMusic, MyVideos: the XDG user
//     directories ($XDG_CONFIG_HOME/user-dirs.dirs, else ~/.config/...),
//     falling back to ~/Desktop, ~/Documents, ~/Pictures, ~/Music, ~/Videos;
//     an entry set to the home folder itself counts as missing ("").
//   FireFox ~/.mozilla/firefox, Skype ~/.config/skypeforlinux, Outlook
//     (Thunderbird) ~/.thunderbird, WindowsMail (Evolution)
//     ~/.local/share/evolution, Favorites (Chromium's bookmarks live in its
//     profile) ~/.config/chromium.
class TFolderPaths
{
public:
    TFolderPaths();

    QString UserDataFolder() const { return FUserDataFolder; }
    QString Desktop() const { return FDesktop; }
    QString Favorites() const { return FFavorites; }
    QString MyDocuments() const { return FMyDocuments; }
    QString MyPictures() const { return FMyPictures; }
    QString MyVideos() const { return FMyVideos; }
    QString MyMusic() const { return FMyMusic; }
    QString FireFox() const { return FFireFox; }
    QString Skype() const { return FSkype; }
    QString Outlook() const { return FOutlook; }
    QString WindowsMail() const { return FWindowsMail; }

    // A quick pick can be offered: the folder exists and, unless hidden
    // entries are shown, neither it nor a folder above it (below its
    // drive's root) is hidden.
    static bool IsFolderUsable(const QString &path, bool showHidden);
    // Whether the path or a folder above it (not the drive root) is hidden.
    static bool IsHiddenPath(const QString &path);

private:
    QString FUserDataFolder, FDesktop, FFavorites, FMyDocuments, FMyPictures, FMyVideos, FMyMusic;
    QString FFireFox, FSkype, FOutlook, FWindowsMail;
};

} // namespace trovalo
