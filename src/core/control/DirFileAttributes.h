#pragma once

#include <QtGlobal>

namespace trovalo {

// The attributes a configured folder should carry, as six flags and the
// platform attribute word they add up to. The word is recomputed whenever a
// flag changes.
class TFileAttributes
{
public:
    TFileAttributes();

    bool Archive() const { return FArchive; }
    void SetArchive(bool value);
    bool Hidden() const { return FHidden; }
    void SetHidden(bool value);
    // Content indexing allowed; when false the not-content-indexed bit is set.
    bool Indexed() const { return FIndexed; }
    void SetIndexed(bool value);
    bool ReadOnlyFolder() const { return FReadOnlyFolder; }
    void SetReadOnlyFolder(bool value);
    bool System() const { return FSystem; }
    void SetSystem(bool value);
    bool Temporary() const { return FTemporary; }
    void SetTemporary(bool value);

    quint32 AttributeWord() const { return FAttributeWord; }
    void UpdateAttributeWord();

private:
    bool FArchive = true;
    bool FHidden = false;
    bool FIndexed = false;
    bool FReadOnlyFolder = false;
    bool FSystem = false;
    bool FTemporary = false;
    quint32 FAttributeWord = 0;
};

} // namespace trovalo
