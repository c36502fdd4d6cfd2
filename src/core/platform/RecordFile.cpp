#include "platform/RecordFile.h"

#include "base/Exceptions.h"
#include "model/SaveLoadComponent.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"

#include <QFile>
#include <QSaveFile>

namespace trovalo {

void SaveToFile(const TSaveLoadComponent &record, const QString &fileName)
{
    QString native;
    try {
        native = NativePath(fileName);
    } catch (const EPathError &error) {
        throw EFileError(QStringLiteral("Cannot save \"%1\": %2").arg(fileName, error.Message()));
    }
    const QByteArray bytes = record.SaveToBytes();
    // Written beside the target and renamed over it after a flush to disk,
    // so a failure never leaves a half-written record in its place.
    // Unbuffered: a short write (disk full, file size limit) must show in
    // write()'s count; through the buffer, Qt flushes it at commit() without
    // reporting it and renames the truncated file into place.
    QSaveFile file(native);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.commit())
        throw EFileError(
            QStringLiteral("Cannot save \"%1\" (%2): %3").arg(fileName, native, file.errorString()));
}

void LoadFromFile(TSaveLoadComponent &record, const QString &fileName)
{
    const std::optional<QString> native = ToNativePath(fileName);
    if (!native || !QFile::exists(*native))
        return;
    QFile file(*native);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(
            QStringLiteral("Cannot open \"%1\" (%2): %3").arg(fileName, *native, file.errorString()));
    // A container larger than its inflated limit cannot be a record; the
    // cap keeps a huge file from being read into memory.
    record.LoadFromBytes(file.read(MaxInflatedSize + 1));
}

} // namespace trovalo
