#include "engine/SyncFileData.h"

#include "base/Exceptions.h"
#include "base/SizeText.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"

#include <QFile>

#include <sys/stat.h>

namespace trovalo {

void TFileData::SetFileName(const QString &fileName)
{
    FFolder.clear();
    FName = fileName;
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

void TFileData::SetListedFile(const QString &folder, const QString &name, qint64 size, TDateTime date)
{
    FFolder = folder;
    FName = name;
    FFileSize = size;
    FLastChangeTime = date;
    FError = false;
}

void TFileData::SetTargetName(const QString &fileName)
{
    FFolder.clear();
    FName = fileName;
    FError = true;
}

bool TFileData::IsFile(const QString &folder, const QString &name) const
{
    if (FFolder == folder && FName == name)
        return true;
    return FFolder.size() + FName.size() == folder.size() + name.size() && FileName() == folder + name;
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
    return FItems[std::size_t(index)];
}

TFilePair &TFileCollection::Add()
{
    return FItems.emplace_back();
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
    return *FItems.emplace(FItems.begin() + index);
}

} // namespace trovalo
