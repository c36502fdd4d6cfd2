#pragma once

#include <QString>

namespace trovalo {

class TSaveLoadComponent;

// A persisted record as a file. FileName is in drive-letter form
// (E:\Config\x.Zja), so these live beside the drive table rather than with
// the record's byte format.

// The file is replaced atomically: a failure leaves the previous file
// untouched. Failures raise EFileError naming the file.
void SaveToFile(const TSaveLoadComponent &record, const QString &fileName);

// A missing file changes nothing; an existing file that cannot be opened
// raises EFileError; damaged content is swallowed (see LoadFromBytes).
void LoadFromFile(TSaveLoadComponent &record, const QString &fileName);

} // namespace trovalo
