#include "engine/SyncFileData.h"

#include "model/Exceptions.h"
#include "model/SizeText.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QFile>

#include <sys/stat.h>

namespace trovalo {

void TFileData::SetFileName(const QString &fileName)
{
    FFileName = fileName;
    const std::optional<QString> native = ToNativePath(fileName);
    struct stat info
    {
    };
    if (!native || ::stat(QFile::encodeName(*native).constData(), &info) != 0 || S_ISDIR(info.st_mode)) {
        FError = true;
        return;
    }
    const std::optional<TDateTime> date = FileDate(fileName);
    FError = !date.has_value();
    if (FError)
        return;
    FFileSize = qint64(info.st_size);
    FLastChangeTime = *date;
}

void TFileData::SetListedFile(const QString &fileName, qint64 size, TDateTime date)
{
    FFileName = fileName;
    FFileSize = size;
    FLastChangeTime = date;
    FError = false;
}

QString TFileData::SizeText() const
{
    if (FFileSize == -1)
        return QStringLiteral("File Not Found");
    return trovalo::SizeText(FFileSize, TSizeUnits::FileList);
}

void TFileCollection::CheckIndex(int index, int limit) const
{
    if (index < 0 || index > limit)
        throw ECollectonException(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TFilePair &TFileCollection::Item(int index) const
{
    CheckIndex(index, Count() - 1);
    return *FItems[std::size_t(index)];
}

TFilePair &TFileCollection::Add()
{
    FItems.push_back(std::make_unique<TFilePair>());
    return *FItems.back();
}

TFilePair &TFileCollection::Add(const QString &fileNameA, const QString &fileNameB)
{
    TFilePair &pair = Add();
    pair.FileA().SetFileName(fileNameA);
    pair.FileB().SetFileName(fileNameB);
    return pair;
}

TFilePair &TFileCollection::Insert(int index)
{
    CheckIndex(index, Count());
    return **FItems.insert(FItems.begin() + index, std::make_unique<TFilePair>());
}

} // namespace trovalo
