#include "TestDrives.h"

#include "platform/DriveTable.h"

#include <QDir>

namespace trovalo::test {

TTestDrives::TTestDrives(const QMap<QChar, QString> &drives)
{
    QStringList entries;
    for (auto it = drives.cbegin(); it != drives.cend(); ++it) {
        const QString root = FDir.path() + QLatin1Char('/') + QChar(it.key()).toLower();
        QDir().mkpath(root);
        FRoots.insert(it.key().toUpper(), root);
        QString entry = QString(it.key()) + QLatin1Char('=') + root;
        if (!it.value().isEmpty())
            entry += QLatin1Char(',') + it.value();
        entries << entry;
    }
    FVariable = entries.join(QLatin1Char(';'));
    FHadDrives = qEnvironmentVariableIsSet("TROVALO_DRIVES");
    FOldDrives = qgetenv("TROVALO_DRIVES");
    FHadProgramData = qEnvironmentVariableIsSet("ProgramData");
    FOldProgramData = qgetenv("ProgramData");
    qputenv("TROVALO_DRIVES", FVariable.toUtf8());
    qputenv("ProgramData", "C:\\ProgramData");
    TDriveTable::Instance().Refresh();
}

TTestDrives::~TTestDrives()
{
    if (FHadDrives)
        qputenv("TROVALO_DRIVES", FOldDrives);
    else
        qunsetenv("TROVALO_DRIVES");
    if (FHadProgramData)
        qputenv("ProgramData", FOldProgramData);
    else
        qunsetenv("ProgramData");
    TDriveTable::Instance().Refresh();
}

void TTestDrives::AddDrive(QChar letter, const QString &nativeRoot, const QString &settings)
{
    QDir().mkpath(nativeRoot);
    FRoots.insert(letter.toUpper(), nativeRoot);
    QString entry = QString(letter) + QLatin1Char('=') + nativeRoot;
    if (!settings.isEmpty())
        entry += QLatin1Char(',') + settings;
    FVariable += (FVariable.isEmpty() ? QString() : QStringLiteral(";")) + entry;
    qputenv("TROVALO_DRIVES", FVariable.toUtf8());
    TDriveTable::Instance().Refresh();
}

QString TTestDrives::NativeRoot(QChar letter) const
{
    return FRoots.value(letter.toUpper(), FDir.path() + QLatin1Char('/') + letter.toLower());
}

QString TTestDrives::Native(QChar letter, const QString &relative) const
{
    return NativeRoot(letter) + QLatin1Char('/') + relative;
}

} // namespace trovalo::test
