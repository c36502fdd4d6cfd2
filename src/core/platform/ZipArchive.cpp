#include "platform/ZipArchive.h"

#include "model/Exceptions.h"
#include "platform/DriveTable.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

#include <zip.h>

namespace trovalo {

namespace {

// zip_source_file reads from the start offset to the end of the file for
// this length, whatever the size (ZIP64 is chosen by libzip).
constexpr zip_int64_t WholeFile = -1;
// Progress steps reported by libzip while writing an archive.
constexpr double CommitProgressPrecision = 0.001;
constexpr qint64 ExtractChunkSize = CopyChunkSize;

QString Described(const QString &letterPath, const QString &native)
{
    return QStringLiteral("%1 (%2)").arg(letterPath, native);
}

QString LibzipText(const char *text)
{
    return QString::fromLocal8Bit(text);
}

QString OpenErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = LibzipText(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

TZipMethod MethodOf(zip_uint16_t method)
{
    switch (method) {
    case ZIP_CM_STORE:
        return TZipMethod::Stored;
    case ZIP_CM_DEFLATE:
        return TZipMethod::Deflated;
    default:
        return TZipMethod::Other;
    }
}

TZipEncryption EncryptionOf(zip_uint16_t method)
{
    switch (method) {
    case ZIP_EM_NONE:
        return TZipEncryption::None;
    case ZIP_EM_TRAD_PKWARE:
        return TZipEncryption::Traditional;
    case ZIP_EM_AES_128:
    case ZIP_EM_AES_192:
    case ZIP_EM_AES_256:
        return TZipEncryption::Aes;
    default:
        return TZipEncryption::Other;
    }
}

TZipEntryInfo EntryInfoOf(const zip_stat_t &st)
{
    TZipEntryInfo info;
    info.Index = static_cast<qint64>(st.index);
    if (st.valid & ZIP_STAT_NAME)
        info.Name = QString::fromUtf8(st.name);
    if (st.valid & ZIP_STAT_SIZE)
        info.Size = st.size;
    if (st.valid & ZIP_STAT_COMP_SIZE)
        info.PackedSize = st.comp_size;
    if (st.valid & ZIP_STAT_MTIME)
        info.Modified = DateTimeFromQt(QDateTime::fromSecsSinceEpoch(st.mtime));
    if (st.valid & ZIP_STAT_COMP_METHOD)
        info.Method = MethodOf(st.comp_method);
    if (st.valid & ZIP_STAT_ENCRYPTION_METHOD)
        info.Encryption = EncryptionOf(st.encryption_method);
    return info;
}

// What the libzip callbacks of one commit share.
struct TCommitState
{
    const TProgressCallback *Progress = nullptr;
    qint64 Total = 0;
    bool Cancelled = false;
};

void OnCommitProgress(zip_t *, double fraction, void *data)
{
    auto *state = static_cast<TCommitState *>(data);
    if (state->Cancelled || !*state->Progress)
        return;
    const TCopyProgress progress{static_cast<qint64>(fraction * static_cast<double>(state->Total)),
                                 state->Total};
    if (!(*state->Progress)(progress))
        state->Cancelled = true;
}

int OnCommitCancel(zip_t *, void *data)
{
    return static_cast<TCommitState *>(data)->Cancelled ? 1 : 0;
}

struct TZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using TZipFilePtr = std::unique_ptr<zip_file_t, TZipFileCloser>;

} // namespace

struct TZipArchive::TPrivate
{
    zip_t *Zip = nullptr;
    TZipOpenMode Mode = TZipOpenMode::Read;
    QString LetterPath;
    QString Native;
    QByteArray Password;

    QString Name() const { return Described(LetterPath, Native); }
    QString ZipErrorText() const { return LibzipText(zip_strerror(Zip)); }

    void RequireOpen() const
    {
        if (!Zip)
            throw EFileError(QStringLiteral("No archive is open."));
    }

    zip_int64_t Locate(const QString &entryName) const
    {
        return zip_name_locate(Zip, entryName.toUtf8().constData(), 0);
    }

    std::optional<zip_stat_t> Stat(zip_uint64_t index) const
    {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(Zip, index, 0, &st) != 0)
            return std::nullopt;
        return st;
    }

    // Undoes a half-configured add so Commit never writes it.
    void DropAdded(zip_int64_t index, bool replaced)
    {
        if (replaced)
            zip_unchange(Zip, static_cast<zip_uint64_t>(index));
        else
            zip_delete(Zip, static_cast<zip_uint64_t>(index));
    }

    qint64 TotalSize() const
    {
        qint64 total = 0;
        const zip_int64_t count = zip_get_num_entries(Zip, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            if (const auto st = Stat(static_cast<zip_uint64_t>(i)); st && (st->valid & ZIP_STAT_SIZE))
                total += static_cast<qint64>(st->size);
        }
        return total;
    }

    void Discard()
    {
        if (Zip)
            zip_discard(Zip);
        Zip = nullptr;
    }
};

TZipArchive::TZipArchive()
    : d(std::make_unique<TPrivate>())
{}

TZipArchive::~TZipArchive()
{
    d->Discard();
}

void TZipArchive::Open(const QString &letterPath, TZipOpenMode mode)
{
    Close();
    const QString native = NativePath(letterPath);
    const int flags = mode == TZipOpenMode::Read ? ZIP_RDONLY : ZIP_CREATE;
    int errorCode = 0;
    zip_t *zip = zip_open(QFile::encodeName(native).constData(), flags, &errorCode);
    if (!zip)
        throw EFileError(QStringLiteral("Cannot open the archive %1: %2")
                             .arg(Described(letterPath, native), OpenErrorText(errorCode)));
    d->Zip = zip;
    d->Mode = mode;
    d->LetterPath = letterPath;
    d->Native = native;
}

bool TZipArchive::IsOpen() const
{
    return d->Zip != nullptr;
}

QString TZipArchive::FileName() const
{
    return d->LetterPath;
}

void TZipArchive::Close()
{
    d->Discard();
}

void TZipArchive::SetPassword(const QString &password)
{
    d->Password = password.toUtf8();
}

QList<TZipEntryInfo> TZipArchive::Entries() const
{
    d->RequireOpen();
    QList<TZipEntryInfo> entries;
    const zip_int64_t count = zip_get_num_entries(d->Zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        // Entries deleted in this session have no stat; they are gone.
        if (const auto st = d->Stat(static_cast<zip_uint64_t>(i)))
            entries.append(EntryInfoOf(*st));
    }
    return entries;
}

std::optional<TZipEntryInfo> TZipArchive::Entry(const QString &entryName) const
{
    d->RequireOpen();
    const zip_int64_t index = d->Locate(entryName);
    if (index < 0)
        return std::nullopt;
    const auto st = d->Stat(static_cast<zip_uint64_t>(index));
    if (!st)
        return std::nullopt;
    return EntryInfoOf(*st);
}

void TZipArchive::AddFile(const QString &sourceLetterPath, const QString &entryName)
{
    d->RequireOpen();
    if (d->Mode != TZipOpenMode::Update)
        throw EFileError(QStringLiteral("The archive %1 is open for reading only.").arg(d->Name()));
    if (!IsSafeEntryName(entryName) || entryName.endsWith(QLatin1Char('/')))
        throw EFileError(QStringLiteral("The entry name \"%1\" is not allowed in the archive %2.")
                             .arg(entryName, d->Name()));
    const QString native = NativePath(sourceLetterPath);
    const auto failure = [&](const QString &reason) {
        return EFileError(QStringLiteral("Cannot add %1 to the archive %2: %3")
                              .arg(Described(sourceLetterPath, native), d->Name(), reason));
    };
    if (!QFileInfo(native).isFile())
        throw failure(QStringLiteral("the file does not exist"));
    const bool encrypt = !d->Password.isEmpty();
    if (encrypt && !zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        throw failure(QStringLiteral("AES-256 encryption is not available"));

    zip_source_t *source = zip_source_file(d->Zip, QFile::encodeName(native).constData(), 0, WholeFile);
    if (!source)
        throw failure(d->ZipErrorText());
    const bool replaced = d->Locate(entryName) >= 0;
    const zip_int64_t index =
        zip_file_add(d->Zip, entryName.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        throw failure(d->ZipErrorText());
    }
    const auto at = static_cast<zip_uint64_t>(index);
    const zip_int32_t method = IsCompressedKind(entryName) ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    // Setting the time also gives a replaced entry its own directory record,
    // without which libzip 1.7 crashes when the entry is stat'ed before the
    // commit. It must follow the compression, which may drop that record.
    const time_t modified = QFileInfo(native).lastModified().toSecsSinceEpoch();
    if (zip_set_file_compression(d->Zip, at, method, 0) != 0 ||
        zip_file_set_mtime(d->Zip, at, modified, 0) != 0 ||
        (encrypt && zip_file_set_encryption(d->Zip, at, ZIP_EM_AES_256, d->Password.constData()) != 0)) {
        const QString reason = d->ZipErrorText();
        d->DropAdded(index, replaced);
        throw failure(reason);
    }
}

bool TZipArchive::Commit(const TProgressCallback &progress)
{
    d->RequireOpen();
    TCommitState state;
    state.Progress = &progress;
    state.Total = d->TotalSize();
    zip_register_progress_callback_with_state(d->Zip, CommitProgressPrecision, OnCommitProgress, nullptr,
                                              &state);
    zip_register_cancel_callback_with_state(d->Zip, OnCommitCancel, nullptr, &state);
    if (zip_close(d->Zip) == 0) {
        d->Zip = nullptr; // freed by zip_close
        return true;
    }
    // libzip rolls its temporary file back; the old archive was never touched.
    const bool cancelled = state.Cancelled || zip_error_code_zip(zip_get_error(d->Zip)) == ZIP_ER_CANCELLED;
    const QString reason = d->ZipErrorText();
    d->Discard();
    if (cancelled)
        return false;
    throw EFileError(QStringLiteral("Cannot write the archive %1: %2").arg(d->Name(), reason));
}

bool TZipArchive::ExtractEntry(const QString &entryName, const QString &targetLetterPath,
                               const TProgressCallback &progress)
{
    d->RequireOpen();
    if (!IsSafeEntryName(entryName))
        throw EFileError(
            QStringLiteral("The archive %1 holds an entry with an unsafe name, not extracted: %2")
                .arg(d->Name(), entryName));
    const QString native = NativePath(targetLetterPath);
    const auto failure = [&](const QString &reason) {
        return EFileError(
            QStringLiteral("Cannot extract %1 from the archive %2: %3").arg(entryName, d->Name(), reason));
    };
    const zip_int64_t index = d->Locate(entryName);
    const auto st = index < 0 ? std::nullopt : d->Stat(static_cast<zip_uint64_t>(index));
    if (!st)
        throw failure(QStringLiteral("the archive has no such entry"));
    const TZipEntryInfo info = EntryInfoOf(*st);

    if (info.IsFolder()) {
        if (!QDir().mkpath(native))
            throw failure(QStringLiteral("cannot create the folder %1").arg(native));
        return true;
    }

    // Opening checks the password, so a wrong one is found before any folder
    // or file is made.
    const auto at = static_cast<zip_uint64_t>(index);
    TZipFilePtr file(info.IsEncrypted()
                         ? zip_fopen_index_encrypted(
                               d->Zip, at, 0, d->Password.isEmpty() ? nullptr : d->Password.constData())
                         : zip_fopen_index(d->Zip, at, 0));
    if (!file)
        throw failure(d->ZipErrorText());

    const QString folder = NativeFolderOf(native);
    if (!QDir().mkpath(folder))
        throw failure(QStringLiteral("cannot create the folder %1").arg(folder));
    QSaveFile out(native);
    if (!out.open(QIODevice::WriteOnly))
        throw failure(out.errorString());

    const auto total = static_cast<qint64>(info.Size);
    qint64 done = 0;
    std::vector<char> buffer(static_cast<size_t>(ExtractChunkSize));
    for (;;) {
        // The checksum (or AES authentication code) is checked when the read
        // reaches the end; a mismatch makes this read fail.
        const zip_int64_t read = zip_fread(file.get(), buffer.data(), buffer.size());
        if (read < 0)
            throw failure(LibzipText(zip_file_strerror(file.get())));
        if (read == 0)
            break;
        if (out.write(buffer.data(), read) != read)
            throw failure(out.errorString());
        done += read;
        if (progress && !progress(TCopyProgress{done, total})) {
            out.cancelWriting();
            return false;
        }
    }
    if (done != total)
        throw failure(QStringLiteral("the entry's data are incomplete"));
    if (info.Modified != 0 && out.flush())
        out.setFileTime(QDateTime::fromSecsSinceEpoch(st->mtime), QFileDevice::FileModificationTime);
    if (!out.commit())
        throw failure(out.errorString());
    return true;
}

QString TZipArchive::TargetBelow(const QString &baseLetterDir, const QString &entryName)
{
    if (!IsSafeEntryName(entryName))
        throw EFileError(
            QStringLiteral("The archive entry name is unsafe, not extracted: %1").arg(entryName));
    QString target = baseLetterDir;
    if (!target.endsWith(QLatin1Char('\\')))
        target += QLatin1Char('\\');
    QString relative = entryName;
    relative.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return target + relative;
}

bool TZipArchive::IsSafeEntryName(const QString &entryName)
{
    if (entryName.isEmpty() || entryName.contains(QChar(0)))
        return false;
    const QChar first = entryName.front();
    if (first == QLatin1Char('/') || first == QLatin1Char('\\'))
        return false;
    if (entryName.size() >= 2 && entryName.at(1) == QLatin1Char(':') && first.isLetter())
        return false;
    QString parts = entryName;
    parts.replace(QLatin1Char('\\'), QLatin1Char('/'));
    for (const QStringView part : QStringView(parts).split(QLatin1Char('/'))) {
        if (part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool TZipArchive::IsCompressedKind(const QString &fileName)
{
    static const QStringList packed = {
        QStringLiteral("zip"),  QStringLiteral("7z"),  QStringLiteral("gz"),   QStringLiteral("jpg"),
        QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("mp3"),  QStringLiteral("mp4"),
        QStringLiteral("mkv"),  QStringLiteral("avi"), QStringLiteral("docx"), QStringLiteral("xlsx"),
        QStringLiteral("pptx"), QStringLiteral("odt"),
    };
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return false;
    return packed.contains(fileName.mid(dot + 1), Qt::CaseInsensitive);
}

} // namespace trovalo
