#include "DirFileAttributes.h"

#include "platform/FileAttributes.h"

namespace trovalo {

TFileAttributes::TFileAttributes()
{
    UpdateAttributeWord();
}

void TFileAttributes::SetArchive(bool value)
{
    FArchive = value;
    UpdateAttributeWord();
}

void TFileAttributes::SetHidden(bool value)
{
    FHidden = value;
    UpdateAttributeWord();
}

void TFileAttributes::SetIndexed(bool value)
{
    FIndexed = value;
    UpdateAttributeWord();
}

void TFileAttributes::SetReadOnlyFolder(bool value)
{
    FReadOnlyFolder = value;
    UpdateAttributeWord();
}

void TFileAttributes::SetSystem(bool value)
{
    FSystem = value;
    UpdateAttributeWord();
}

void TFileAttributes::SetTemporary(bool value)
{
    FTemporary = value;
    UpdateAttributeWord();
}

void TFileAttributes::UpdateAttributeWord()
{
    quint32 word = 0;
    if (FArchive)
        word |= faArchive;
    if (FHidden)
        word |= faHidden;
    if (!FIndexed)
        word |= faNotContentIndexed;
    if (FReadOnlyFolder)
        word |= faReadOnly;
    if (FSystem)
        word |= faSysFile;
    if (FTemporary)
        word |= faTemporary;
    FAttributeWord = word;
}

} // namespace trovalo
