#include "TestFiles.h"

#include "platform/DriveTable.h"
#include "platform/ZipArchive.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

namespace trovalo::test {

void WriteFile(const QString &native, const QByteArray &content)
{
    QFile file(native);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(native + QStringLiteral(": ") + file.errorString()));
    QCOMPARE(file.write(content), content.size());
}

QByteArray ReadOrMissing(const QString &native)
{
    QFile file(native);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void PutNative(const QString &native, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(native).path()));
    WriteFile(native, content);
}

void PutAt(const QString &letterPath, const QByteArray &content, std::optional<qint64> modified)
{
    const QString native = NativePath(letterPath);
    PutNative(native, content);
    if (!modified)
        return;
    QFile file(native);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(*modified), QFileDevice::FileModificationTime));
}

QByteArray ReadAt(const QString &letterPath)
{
    return ReadOrMissing(NativePath(letterPath));
}

void PutZip(const QString &letterPath, const QStringList &entries, const QString &password)
{
    TZipArchive zip;
    zip.SetPassword(password);
    zip.Open(letterPath, TZipOpenMode::Replace);
    for (const QString &entry : entries) {
        const QString scratch = QStringLiteral("C:\\Scratch\\") + QString(entry).replace('/', '_');
        PutAt(scratch, entry.toUtf8());
        zip.AddFile(scratch, entry);
    }
    QVERIFY(zip.Commit());
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

QStringList FilesBelow(const QString &native)
{
    QStringList files;
    QDirIterator it(native, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(native).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace trovalo::test
