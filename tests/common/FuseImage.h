#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/vfs.h>
#include <unistd.h>

namespace trovalo::test {

enum class TStickFileSystem { Fat32, Ntfs };

// A file system made in an image file and mounted through its FUSE driver on
// an empty folder (a TTestDrives drive root) until the object goes, also when
// the test failed. Needs /dev/fuse and the packages dosfstools, fusefat and
// ntfs-3g; without them Unavailable() says why, for QSKIP.
class TFuseImage
{
public:
    TFuseImage(TStickFileSystem fileSystem, const QString &mountPoint)
        : FMountPoint(mountPoint)
    {
        const QString image = FScratch.filePath("stick.img");
        QFile file(image); // sparse; FAT32 wants some 65,000 clusters
        const bool fat = fileSystem == TStickFileSystem::Fat32;
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            FUnavailable = "/dev/fuse is not usable here";
        else if (file.open(QIODevice::WriteOnly) && file.resize(qint64(fat ? 256 : 64) << 20) &&
                 // Outside UTC fusefat reads dates back shifted by the zone's offset.
                 (fat ? Run("mkfs.vfat", {"-F", "32", image}) &&
                            Run("fusefat", {"-o", "rw+", image, mountPoint}, "UTC")
                      : Run("mkntfs", {"-F", "-Q", image}) && Run("ntfs-3g", {image, mountPoint})))
            FUnavailable = IsMounted() ? QString() : "nothing was mounted on " + mountPoint;
    }
    ~TFuseImage()
    {
        // The driver may still hold a file closed a moment ago.
        for (int attempt = 0; attempt < 50 && IsMounted(); ++attempt)
            if (QProcess::execute("fusermount", {"-u", FMountPoint}) != 0)
                QThread::msleep(100);
    }
    TFuseImage(const TFuseImage &) = delete;
    TFuseImage &operator=(const TFuseImage &) = delete;

    QString Unavailable() const { return FUnavailable; } // empty once mounted

private:
    bool IsMounted() const
    {
        struct statfs info
        {
        };
        return ::statfs(QFile::encodeName(FMountPoint).constData(), &info) == 0 && info.f_type == 0x65735546;
    }
    bool Run(const QString &tool, const QStringList &arguments, const QString &timeZone = {})
    {
        // The mkfs tools live in sbin, which a user's PATH may lack.
        const QString program =
            QStandardPaths::findExecutable(tool, {"/usr/bin", "/bin", "/usr/sbin", "/sbin"});
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!timeZone.isEmpty())
            environment.insert("TZ", timeZone);
        process.setProcessEnvironment(environment);
        // Not a pipe: the drivers go on in the background writing to it.
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        if (!program.isEmpty())
            process.start(program, arguments);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
        FUnavailable = tool + (program.isEmpty() ? " is not installed (scripts/install-deps.sh installs it)"
                                                 : " failed");
        return false;
    }

    QTemporaryDir FScratch;
    QString FMountPoint;
    QString FUnavailable = "the image file cannot be made";
};

} // namespace trovalo::test
