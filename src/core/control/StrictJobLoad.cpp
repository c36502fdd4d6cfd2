#include "control/StrictJobLoad.h"

#include "base/Exceptions.h"
#include "model/ObjectStream.h"
#include "model/SaveLoadComponent.h"
#include "model/ZlibContainer.h"
#include "platform/DriveTable.h"

#include <QFile>

namespace trovalo {

void LoadJobStrictly(TSaveLoadComponent &job, const QString &jobFile, const QString &what,
                     const QString &kindName)
{
    const std::optional<QString> native = ToNativePath(jobFile);
    if (!native)
        throw EFileError(
            QStringLiteral("Cannot open \"%1\": it lies on no drive of this computer").arg(jobFile));
    QFile file(*native);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(
            QStringLiteral("Cannot open \"%1\" (%2): %3").arg(jobFile, *native, file.errorString()));
    const QByteArray bytes = file.read(MaxInflatedSize + 1);
    const auto refused = [&](const QString &reason) {
        return EUserException(
            QStringLiteral("\"%1\" (%2) is not a readable %3: %4").arg(jobFile, *native, what, reason));
    };

    QByteArray objectStream;
    try {
        objectStream = InflateContainer(bytes);
    } catch (const EStreamError &error) {
        throw refused(error.Message());
    }
    const TStreamRecord record = ParseObjectStream(objectStream);
    if (!record.Error.isEmpty())
        throw refused(QStringLiteral("the record is damaged (%1)").arg(record.Error));
    const QString expectedClass =
        QString::fromLatin1(job.metaObject()->className()).section(QStringLiteral("::"), -1);
    if (record.ClassName != expectedClass)
        throw refused(QStringLiteral("it holds a %1 record, not a %2").arg(record.ClassName, kindName));
    try {
        job.ReadObjectStream(objectStream);
    } catch (const EStreamError &error) {
        throw refused(error.Message());
    }
}

} // namespace trovalo
