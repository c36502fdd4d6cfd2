#include "platform/ZipArchive.h"

#include "base/Exceptions.h"
#include "platform/DriveMap.h"
#include "platform/DriveTable.h"
#include "platform/TempFile.h"
#include "platform/ZipFileSource.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zip.h>

namespace trovalo {

namespace {

// libzip 1.7 deflates at level 9 unless told otherwise: several times slower
// than level 6 (the usual zip default) for a percent or two of size.
constexpr zip_uint32_t DeflateLevel = 6;
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

// WithDate: the modification time is converted too (a time-zone look-up,
// which a check of thousands of entries can do without).
TZipEntryInfo EntryInfoOf(const zip_stat_t &st, bool withDate = true)
{
    TZipEntryInfo info;
    info.Index = static_cast<qint64>(st.index);
    if (st.valid & ZIP_STAT_NAME)
        info.Name = QString::fromUtf8(st.name);
    if (st.valid & ZIP_STAT_SIZE)
        info.Size = st.size;
    if (st.valid & ZIP_STAT_COMP_SIZE)
        info.PackedSize = st.comp_size;
    if (withDate && (st.valid & ZIP_STAT_MTIME))
        info.Modified = DateTimeFromQt(QDateTime::fromSecsSinceEpoch(st.mtime));
    if (st.valid & ZIP_STAT_COMP_METHOD)
        info.Method = MethodOf(st.comp_method);
    if (st.valid & ZIP_STAT_ENCRYPTION_METHOD)
        info.Encryption = EncryptionOf(st.encryption_method);
    return info;
}

bool MadeOnUnix(zip_t *zip, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    return zip_file_get_external_attributes(zip, index, 0, &system, &attributes) == 0 &&
           (system == ZIP_OPSYS_UNIX || system == ZIP_OPSYS_OS_X);
}

// What the libzip callbacks of one commit share.
struct TCommitState
{
    const TProgressCallback *Progress = nullptr;
    const TZipCommitEvents *Events = nullptr;
    qint64 Total = 0;
    bool Cancelled = false;
    // The added file whose reading failed, and why.
    QString FailedSource;
    QString FailedReason;
    int FailedCode = 0;
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

// The data of one added file, read only when the commit writes it. Unlike
// libzip's own file source it tells the commit which file it reads and how
// far it got, and lets a cancel stop inside a large file.
class TAddedFileSource
{
public:
    TAddedFileSource(QString letterPath, QByteArray native, const struct stat &info,
                     TCommitState *const *commit)
        : FLetterPath(std::move(letterPath))
        , FNative(std::move(native))
        , FSize(static_cast<qint64>(info.st_size))
        , FModified(info.st_mtime)
        , FCommit(commit)
    {
        zip_error_init(&FError);
    }
    ~TAddedFileSource()
    {
        CloseFile();
        zip_error_fini(&FError);
    }
    TAddedFileSource(const TAddedFileSource &) = delete;
    TAddedFileSource &operator=(const TAddedFileSource &) = delete;

    static zip_int64_t Callback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
        auto *self = static_cast<TAddedFileSource *>(state);
        switch (command) {
        case ZIP_SOURCE_OPEN:
            return self->Open();
        case ZIP_SOURCE_READ:
            return self->Read(static_cast<char *>(data), length);
        case ZIP_SOURCE_CLOSE:
            self->CloseFile();
            return 0;
        case ZIP_SOURCE_STAT:
            return self->Stat(data, length);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->FError, data, length);
        case ZIP_SOURCE_FREE:
            delete self;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&self->FError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

private:
    TCommitState *Commit() const { return *FCommit; }

    zip_int64_t Open()
    {
        FDone = 0;
        FFile = ::open(FNative.constData(), O_RDONLY | O_CLOEXEC);
        if (FFile < 0)
            return Fail(ZIP_ER_OPEN, errno);
        if (TCommitState *commit = Commit(); commit && commit->Events && commit->Events->FileStarted)
            commit->Events->FileStarted(FLetterPath);
        return 0;
    }

    zip_int64_t Read(char *data, zip_uint64_t length)
    {
        ssize_t got;
        do
            got = ::read(FFile, data, static_cast<size_t>(std::min<zip_uint64_t>(length, SSIZE_MAX)));
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return Fail(ZIP_ER_READ, errno);
        FDone += got;
        TCommitState *commit = Commit();
        if (commit && commit->Events && commit->Events->FileProgress &&
            !commit->Events->FileProgress(TCopyProgress{FDone, std::max(FSize, FDone)})) {
            commit->Cancelled = true;
            zip_error_set(&FError, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        return got;
    }

    zip_int64_t Stat(void *data, zip_uint64_t length)
    {
        if (length < sizeof(zip_stat_t)) {
            zip_error_set(&FError, ZIP_ER_INVAL, 0);
            return -1;
        }
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->size = static_cast<zip_uint64_t>(FSize);
        st->mtime = FModified;
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }

    zip_int64_t Fail(int code, int systemError)
    {
        zip_error_set(&FError, code, systemError);
        if (TCommitState *commit = Commit(); commit && commit->FailedSource.isEmpty()) {
            commit->FailedSource = FLetterPath;
            commit->FailedReason = QString::fromLocal8Bit(::strerror(systemError));
            commit->FailedCode = code;
        }
        return -1;
    }

    void CloseFile()
    {
        if (FFile >= 0)
            ::close(FFile);
        FFile = -1;
    }

    QString FLetterPath;
    QByteArray FNative;
    qint64 FSize;
    time_t FModified;
    TCommitState *const *FCommit; // the commit under way, if any
    int FFile = -1;
    qint64 FDone = 0;
    zip_error_t FError;
};

// An extracted entry on its way to its target: a hidden temporary file
// beside it that takes the target's name only when complete, so a failed or
// cancelled extraction never costs the file that was there. Only a file that
// replaces another is synced first (as copies are): a new one has nothing
// to lose, and syncing each of thousands of restored files would multiply
// the time of a restore.
class TExtractTarget
{
public:
    explicit TExtractTarget(QString native)
        : FNative(std::move(native))
    {}
    ~TExtractTarget()
    {
        if (FFile >= 0) {
            ::close(FFile);
            ::unlink(FTempName.constData());
        }
    }
    TExtractTarget(const TExtractTarget &) = delete;
    TExtractTarget &operator=(const TExtractTarget &) = delete;

    bool Open()
    {
        FFile = CreateTempBeside(FNative, &FTempName, FTempLock);
        if (FFile < 0)
            return false;
        // The replaced file's permissions, or the usual ones for a new file.
        struct stat old
        {
        };
        FReplacing = ::stat(QFile::encodeName(FNative).constData(), &old) == 0;
        FMode = FReplacing ? old.st_mode & 07777 : NewFileMode();
        return true;
    }

    bool Write(const char *data, qint64 size) { return WriteAll(FFile, data, size); }

    TFileOpResult Commit(std::optional<time_t> modified)
    {
        const int file = std::exchange(FFile, -1);
        TFileOpResult result = TFileOpResult::Success();
        struct timespec times[2] = {};
        if (!SetModeIfHeld(file, FMode)) {
            result = TFileOpResult::Failure(errno);
        } else if (modified) {
            // Read now: the file was just written.
            ::clock_gettime(CLOCK_REALTIME, &times[0]);
            times[1] = {*modified, 0};
            result = SetTimesChecked(file, times);
        }
        if (result.Ok && FReplacing && ::fsync(file) != 0)
            result = TFileOpResult::Failure(errno);
        if (::close(file) != 0 && result.Ok)
            result = TFileOpResult::Failure(errno);
        if (!result.Ok) {
            ::unlink(FTempName.constData());
            return result;
        }
        return PlaceTempFile(FTempName, QFile::encodeName(FNative), TCopyMode::Replace,
                             modified ? times : nullptr);
    }

private:
    QString FNative;
    QByteArray FTempName;
    TTempFileLock FTempLock; // until the file is in place or removed
    int FFile = -1;
    mode_t FMode = 0;
    bool FReplacing = false;
};

} // namespace

struct TZipArchive::TPrivate
{
    zip_t *Zip = nullptr;
    TZipOpenMode Mode = TZipOpenMode::Read;
    QString LetterPath;
    QString Native;
    QByteArray Password;
    qsizetype Pending = 0;
    // Read by the added files' sources while a commit runs.
    TCommitState *Commit = nullptr;

    QString Name() const { return Described(LetterPath, Native); }
    QString ZipErrorText() const { return LibzipText(zip_strerror(Zip)); }
    int ZipErrorCode() const { return zip_error_code_zip(zip_get_error(Zip)); }
    int SystemErrorCode() const { return zip_error_code_system(zip_get_error(Zip)); }

    void RequireOpen() const
    {
        if (!Zip)
            throw EZipError(QStringLiteral("No archive is open."), ZIP_ER_INVAL);
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
        Pending = 0;
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
    const int flags = mode == TZipOpenMode::Read     ? ZIP_RDONLY
                      : mode == TZipOpenMode::Update ? ZIP_CREATE
                                                     : ZIP_CREATE | ZIP_TRUNCATE;
    int errorCode = 0;
    zip_t *zip = nullptr;
    if (mode == TZipOpenMode::Read) {
        zip = zip_open(QFile::encodeName(native).constData(), flags, &errorCode);
    } else {
        // Written archives go through a source that syncs the new version
        // before it replaces the old one.
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *source = CreateDurableZipFileSource(QFile::encodeName(native), &error);
        zip = source ? zip_open_from_source(source, flags, &error) : nullptr;
        if (!zip) {
            errorCode = zip_error_code_zip(&error);
            if (source)
                zip_source_free(source);
        }
        zip_error_fini(&error);
    }
    if (!zip)
        throw EZipError(QStringLiteral("Cannot open the archive %1: %2")
                            .arg(Described(letterPath, native), OpenErrorText(errorCode)),
                        errorCode);
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
        if (const auto st = d->Stat(static_cast<zip_uint64_t>(i))) {
            entries.append(EntryInfoOf(*st));
            entries.last().UnixNames = MadeOnUnix(d->Zip, zip_uint64_t(i));
        }
    }
    return entries;
}

std::optional<TZipEntryInfo> TZipArchive::Entry(const QString &entryName, bool withDate) const
{
    d->RequireOpen();
    const zip_int64_t index = d->Locate(entryName);
    if (index < 0)
        return std::nullopt;
    const auto st = d->Stat(static_cast<zip_uint64_t>(index));
    if (!st)
        return std::nullopt;
    TZipEntryInfo info = EntryInfoOf(*st, withDate);
    info.UnixNames = MadeOnUnix(d->Zip, zip_uint64_t(index));
    return info;
}

bool TZipArchive::HasEntry(const QString &entryName) const
{
    d->RequireOpen();
    return d->Locate(entryName) >= 0;
}

void TZipArchive::AddFile(const QString &sourceLetterPath, const QString &entryName)
{
    d->RequireOpen();
    if (d->Mode == TZipOpenMode::Read)
        throw EZipError(QStringLiteral("The archive %1 is open for reading only.").arg(d->Name()),
                        ZIP_ER_RDONLY);
    if (!IsSafeEntryName(entryName) || entryName.endsWith(QLatin1Char('/')))
        throw EZipError(QStringLiteral("The entry name \"%1\" is not allowed in the archive %2.")
                            .arg(entryName, d->Name()),
                        ZIP_ER_INVAL);
    const QString native = NativePath(sourceLetterPath);
    const auto failure = [&](const QString &reason, int code) {
        return EZipError(QStringLiteral("Cannot add %1 to the archive %2: %3")
                             .arg(Described(sourceLetterPath, native), d->Name(), reason),
                         code, sourceLetterPath);
    };
    const QByteArray encoded = QFile::encodeName(native);
    struct stat info
    {
    };
    if (::stat(encoded.constData(), &info) != 0)
        throw failure(QString::fromLocal8Bit(::strerror(errno)), ZIP_ER_OPEN);
    if (!S_ISREG(info.st_mode))
        throw failure(QStringLiteral("not a regular file"), ZIP_ER_OPEN);
    const bool encrypt = !d->Password.isEmpty();
    if (encrypt && !zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        throw failure(QStringLiteral("AES-256 encryption is not available"), ZIP_ER_ENCRNOTSUPP);

    auto *data = new TAddedFileSource(sourceLetterPath, encoded, info, &d->Commit);
    zip_source_t *source = zip_source_function(d->Zip, &TAddedFileSource::Callback, data);
    if (!source) {
        delete data;
        throw failure(d->ZipErrorText(), d->ZipErrorCode());
    }
    const bool replaced = d->Locate(entryName) >= 0;
    const zip_int64_t index =
        zip_file_add(d->Zip, entryName.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        throw failure(d->ZipErrorText(), d->ZipErrorCode());
    }
    const auto at = static_cast<zip_uint64_t>(index);
    const zip_int32_t method = IsCompressedKind(entryName) ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    // Setting the time also gives a replaced entry its own directory record,
    // without which libzip 1.7 crashes when the entry is stat'ed before the
    // commit. It must follow the compression, which may drop that record.
    if (zip_set_file_compression(d->Zip, at, method, method == ZIP_CM_DEFLATE ? DeflateLevel : 0) != 0 ||
        zip_file_set_mtime(d->Zip, at, info.st_mtime, 0) != 0 ||
        // Also "none": a replaced entry would keep the encryption of the
        // one it replaces, which without a password cannot be written.
        zip_file_set_encryption(d->Zip, at, encrypt ? ZIP_EM_AES_256 : ZIP_EM_NONE,
                                encrypt ? d->Password.constData() : nullptr) != 0) {
        const QString reason = d->ZipErrorText();
        const int code = d->ZipErrorCode();
        d->DropAdded(index, replaced);
        throw failure(reason, code);
    }
    ++d->Pending;
}

qsizetype TZipArchive::DeleteEntriesExcept(const QSet<QString> &kept)
{
    d->RequireOpen();
    qsizetype deleted = 0;
    const zip_int64_t count = zip_get_num_entries(d->Zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto st = d->Stat(static_cast<zip_uint64_t>(i));
        if (!st || !(st->valid & ZIP_STAT_NAME))
            continue; // deleted already
        const QString name = QString::fromUtf8(st->name);
        if (name.endsWith(QLatin1Char('/')) || kept.contains(name))
            continue;
        if (zip_delete(d->Zip, static_cast<zip_uint64_t>(i)) != 0)
            throw EZipError(QStringLiteral("Cannot remove %1 from the archive %2: %3")
                                .arg(name, d->Name(), d->ZipErrorText()),
                            d->ZipErrorCode());
        ++deleted;
    }
    return deleted;
}

std::optional<bool> TZipArchive::PasswordOpensAesEntries() const
{
    d->RequireOpen();
    std::optional<zip_stat_t> smallest;
    const zip_int64_t count = zip_get_num_entries(d->Zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto st = d->Stat(static_cast<zip_uint64_t>(i));
        if (st && (st->valid & ZIP_STAT_ENCRYPTION_METHOD) &&
            EncryptionOf(st->encryption_method) == TZipEncryption::Aes &&
            (!smallest || st->size < smallest->size))
            smallest = st;
    }
    if (!smallest)
        return std::nullopt;
    if (d->Password.isEmpty())
        return false;
    TZipFilePtr file(zip_fopen_index_encrypted(d->Zip, smallest->index, 0, d->Password.constData()));
    if (!file)
        return false;
    // The authentication code is compared when the read reaches the end.
    char buffer[4096];
    zip_int64_t read = 0;
    while ((read = zip_fread(file.get(), buffer, sizeof buffer)) > 0) {
    }
    return read == 0;
}

qsizetype TZipArchive::PendingCount() const
{
    return d->Pending;
}

bool TZipArchive::Commit(const TProgressCallback &progress, const TZipCommitEvents &events)
{
    d->RequireOpen();
    TCommitState state;
    state.Progress = &progress;
    state.Events = &events;
    state.Total = d->TotalSize();
    d->Commit = &state;
    struct TCommitEnd
    {
        TCommitState *&Commit;
        ~TCommitEnd() { Commit = nullptr; }
    } commitEnd{d->Commit};
    zip_register_progress_callback_with_state(d->Zip, CommitProgressPrecision, OnCommitProgress, nullptr,
                                              &state);
    zip_register_cancel_callback_with_state(d->Zip, OnCommitCancel, nullptr, &state);
    if (zip_close(d->Zip) == 0) {
        d->Zip = nullptr; // freed by zip_close
        d->Pending = 0;
        return true;
    }
    // libzip rolls its temporary file back; the old archive was never touched.
    const int code = d->ZipErrorCode();
    const bool cancelled = state.Cancelled || code == ZIP_ER_CANCELLED;
    // A FAT32 drive holds no file of 4 GiB or more.
    const QString reason = d->SystemErrorCode() == EFBIG
                               ? QStringLiteral("it would grow past the largest file the drive can hold "
                                                "(4 GB on FAT32); the previous archive is kept")
                               : d->ZipErrorText();
    d->Discard();
    if (cancelled)
        return false;
    if (!state.FailedSource.isEmpty())
        throw EZipError(QStringLiteral("Cannot write the archive %1: the file %2 could not be read (%3)")
                            .arg(d->Name(), state.FailedSource, state.FailedReason),
                        state.FailedCode, state.FailedSource);
    throw EZipError(QStringLiteral("Cannot write the archive %1: %2").arg(d->Name(), reason), code);
}

bool TZipArchive::ExtractEntry(const QString &entryName, const QString &targetLetterPath,
                               const TProgressCallback &progress)
{
    d->RequireOpen();
    if (!IsSafeEntryName(entryName))
        throw EZipError(QStringLiteral("The archive %1 holds an entry with an unsafe name, not extracted: %2")
                            .arg(d->Name(), entryName),
                        ZIP_ER_INVAL);
    const QString native = NativePath(targetLetterPath);
    const auto failure = [&](const QString &reason, int code) {
        return EZipError(
            QStringLiteral("Cannot extract %1 from the archive %2: %3").arg(entryName, d->Name(), reason),
            code);
    };
    const zip_int64_t index = d->Locate(entryName);
    const auto st = index < 0 ? std::nullopt : d->Stat(static_cast<zip_uint64_t>(index));
    if (!st)
        throw failure(QStringLiteral("the archive has no such entry"), ZIP_ER_NOENT);
    const TZipEntryInfo info = EntryInfoOf(*st);

    if (info.IsFolder()) {
        if (!QDir().mkpath(native))
            throw failure(QStringLiteral("cannot create the folder %1").arg(native), ZIP_ER_WRITE);
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
        throw failure(d->ZipErrorText(), d->ZipErrorCode());

    const QString folder = NativeFolderOf(native);
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw failure(QStringLiteral("cannot create the folder %1").arg(folder), ZIP_ER_WRITE);
    TExtractTarget out(native);
    if (!out.Open())
        throw failure(QString::fromLocal8Bit(::strerror(errno)), ZIP_ER_TMPOPEN);

    const auto total = static_cast<qint64>(info.Size);
    qint64 done = 0;
    // Not zero-filled: a restore of many small files would pay for that.
    const std::unique_ptr<char[]> buffer(new char[ExtractChunkSize]);
    for (;;) {
        // The checksum (or AES authentication code) is checked when the read
        // reaches the end; a mismatch makes this read fail.
        const zip_int64_t read = zip_fread(file.get(), buffer.get(), ExtractChunkSize);
        if (read < 0)
            throw failure(LibzipText(zip_file_strerror(file.get())),
                          zip_error_code_zip(zip_file_get_error(file.get())));
        if (read == 0)
            break;
        // The data must end where the directory says: a hostile entry could
        // otherwise inflate until the disk is full before the size check at
        // its end.
        if (read > total - done)
            throw failure(QStringLiteral("the entry holds more data than its recorded size"), ZIP_ER_INCONS);
        if (!out.Write(buffer.get(), read))
            throw failure(QString::fromLocal8Bit(::strerror(errno)), ZIP_ER_WRITE);
        done += read;
        if (progress && !progress(TCopyProgress{done, total}))
            return false;
    }
    if (done != total)
        throw failure(QStringLiteral("the entry's data are incomplete"), ZIP_ER_INCONS);
    const TFileOpResult placed =
        out.Commit(info.Modified != 0 ? std::optional<time_t>(st->mtime) : std::nullopt);
    if (!placed.Ok)
        throw failure(placed.Message, ZIP_ER_WRITE);
    return true;
}

QString TZipArchive::TargetBelow(const QString &baseLetterDir, const QString &entryName, bool unixNames)
{
    if (!IsSafeEntryName(entryName))
        throw EZipError(QStringLiteral("The archive entry name is unsafe, not extracted: %1").arg(entryName),
                        ZIP_ER_INVAL);
    QString target = baseLetterDir;
    if (!target.endsWith(QLatin1Char('\\')))
        target += QLatin1Char('\\');
    return target + LetterPathOf(entryName, unixNames);
}

QString TZipArchive::EntryNameOf(const QString &relativeLetterPath)
{
    QStringList names = relativeLetterPath.split(QLatin1Char('\\'));
    for (QString &name : names)
        name = NativeName(name);
    return names.join(QLatin1Char('/'));
}

QString TZipArchive::LetterPathOf(const QString &entryName, bool unixNames)
{
    if (!unixNames)
        return QString(entryName).replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList names = entryName.split(QLatin1Char('/'));
    for (QString &name : names)
        name = LetterName(name);
    return names.join(QLatin1Char('\\'));
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
