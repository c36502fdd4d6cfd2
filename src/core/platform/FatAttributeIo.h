#pragma once

#include <QString>

#include <optional>

namespace trovalo {

// The DOS attributes that FAT and exFAT volumes keep, through the kernel's
// FAT ioctls. A class of its own so that tests can stand in for a FAT
// volume, which the build machines cannot mount. Attribute values are the
// DOS bits (read-only 0x1, hidden 0x2, system 0x4, directory 0x10, archive
// 0x20).
class TFatAttributeIo
{
public:
    virtual ~TFatAttributeIo() = default;

    // True when the native path lies on a FAT or exFAT volume.
    virtual bool IsFatVolume(const QString &nativePath) const;
    // nullopt when the ioctl fails (an exFAT driver without it, no access).
    virtual std::optional<quint32> Get(const QString &nativePath) const;
    virtual bool Set(const QString &nativePath, quint32 attributes) const;

    // The access GetFileAttributes and SetFileAttributes use.
    static const TFatAttributeIo &Current();
    // Replaces it (tests); nullptr restores the real one. The object must
    // outlive its use.
    static void SetCurrent(const TFatAttributeIo *io);
};

} // namespace trovalo
