#pragma once

#include <QMap>
#include <QString>
#include <QTemporaryDir>

namespace trovalo::test {

// Isolated drives in a temporary folder: each letter gets its own folder,
// TROVALO_DRIVES names them and the drive table is refreshed. The previous
// environment comes back when the object goes. "ProgramData" points at
// C:\ProgramData so the program's data folder lies inside drive C:.
//
// Settings per letter follow TROVALO_DRIVES' syntax, e.g.
//   TTestDrives drives({{'C', ""}, {'E', "bus=USB,label=STICK"}});
class TTestDrives
{
public:
    explicit TTestDrives(const QMap<QChar, QString> &drives = {{'C', QString()},
                                                               {'E', QStringLiteral("bus=USB")}});
    ~TTestDrives();
    TTestDrives(const TTestDrives &) = delete;
    TTestDrives &operator=(const TTestDrives &) = delete;

    // Adds a drive whose root is the native folder NativeRoot (made when
    // missing), e.g. a stick mounted inside drive C:'s folder tree, and
    // refreshes the drive table.
    void AddDrive(QChar letter, const QString &nativeRoot, const QString &settings = {});

    // Native folder standing for the drive.
    QString NativeRoot(QChar letter) const;
    // Native path of a drive-relative path ("Config/Drive Config.cfg").
    QString Native(QChar letter, const QString &relative) const;
    // The environment value used, for child processes.
    QString DrivesVariable() const { return FVariable; }
    QString Base() const { return FDir.path(); }

private:
    QTemporaryDir FDir;
    QString FVariable;
    QMap<QChar, QString> FRoots;
    QByteArray FOldDrives, FOldProgramData;
    bool FHadDrives = false, FHadProgramData = false;
};

} // namespace trovalo::test
