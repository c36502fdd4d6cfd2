#pragma once

#include <QByteArray>

#include <zip.h>

namespace trovalo {

// An archive file as a libzip source for archives that are written. The new
// version goes to a hidden temporary file beside the archive and is synced to
// the disk before it takes the archive's name, and the folder is synced after:
// libzip's own file source renames without a sync, so a power cut or a pulled
// stick while the new version was still in memory could leave the archive,
// and every earlier backup in it, damaged.
//
// Returns nullptr (with Error set) when no source can be made; the caller
// owns the source until zip_open_from_source takes it.
zip_source_t *CreateDurableZipFileSource(const QByteArray &nativePath, zip_error_t *error);

} // namespace trovalo
