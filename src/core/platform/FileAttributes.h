#pragma once

#include <QString>

#include <optional>

namespace trovalo {

class TFileFilter;

// The platform file-attribute bits the program stores and compares.
enum : quint32 {
    faReadOnly = 0x1,
    faHidden = 0x2,
    faSysFile = 0x4,
    faDirectory = 0x10,
    faArchive = 0x20,
    faTemporary = 0x100,
    faNotContentIndexed = 0x2000,
};

// Attributes of a file or folder given in drive-letter form; nullopt when it
// cannot be read (it does not exist, the drive is gone).
//
// On FAT volumes these are the real DOS attributes (FAT_IOCTL_GET_ATTRIBUTES).
// Elsewhere: read-only = the owner may not write; hidden = the name begins
// with "." or is listed in the folder's ".hidden" file (what the desktop's
// file managers honour); system = never; archive = never; directory from the
// file type.
std::optional<quint32> GetFileAttributes(const QString &path);

// Sets the attributes (directory bit ignored). On FAT through
// FAT_IOCTL_SET_ATTRIBUTES, falling back to the rules below when the ioctl
// fails; elsewhere read-only maps to the write permissions (set: every write
// bit removed; cleared: the owner's write bit added) and hidden to the
// folder's ".hidden" list (a name beginning with "." stays hidden whatever
// is asked; a missing ".hidden" is not created just to leave a name out);
// system, archive and temporary have no stand-in and are ignored. Returns
// false when the path cannot be reached or a change with a stand-in failed.
bool SetFileAttributes(const QString &path, quint32 attributes);

// Whether the filter skips a file: its name rules first, then, when they
// apply, its attribute rules on the attributes read from the disk. FileName
// is a bare name, Path the folder holding it (drive-letter form).
bool IsExcludedFile(const TFileFilter &filter, const QString &fileName, const QString &path);

} // namespace trovalo
