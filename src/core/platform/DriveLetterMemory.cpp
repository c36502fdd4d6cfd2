#include "DriveLetterMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace trovalo {

namespace {
constexpr char16_t FirstLetter = u'D';
constexpr char16_t LastLetter = u'Z';

QByteArray EncodeKey(const QString &key)
{
    QByteArray out;
    for (const char c : key.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '%')
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            out += c;
    }
    return out;
}

QString DecodeKey(const QByteArray &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}
} // namespace

TDriveLetterMemory::TDriveLetterMemory(QString fileName)
    : FFileName(std::move(fileName))
{}

QString TDriveLetterMemory::DefaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trovalo/drive-letters");
}

QString TDriveLetterMemory::KeyOf(const QString &uuid, const QString &device, const QString &label)
{
    if (!uuid.isEmpty())
        return QStringLiteral("uuid=") + uuid;
    return QStringLiteral("device=%1;label=%2").arg(device, label);
}

void TDriveLetterMemory::Load()
{
    FKeyByLetter.clear();
    FChanged = false;
    QFile file(FFileName);
    if (FFileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    QSet<QString> keys;
    for (const QByteArray &rawLine : file.readAll().split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype blank = line.indexOf(' ');
        if (blank != 1)
            continue;
        const QChar letter = QChar(QLatin1Char(line.at(0))).toUpper();
        const QString key = DecodeKey(line.mid(2).trimmed());
        if (letter.unicode() < FirstLetter || letter.unicode() > LastLetter || key.isEmpty() ||
            FKeyByLetter.contains(letter) || keys.contains(key))
            continue;
        FKeyByLetter.insert(letter, key);
        keys.insert(key);
    }
}

bool TDriveLetterMemory::Save()
{
    if (!FChanged || FFileName.isEmpty())
        return true;
    QDir().mkpath(QFileInfo(FFileName).absolutePath());
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "# Drive letters Trovalo gave to volumes: LETTER KEY\n";
    for (auto it = FKeyByLetter.cbegin(); it != FKeyByLetter.cend(); ++it)
        text += QByteArray(1, static_cast<char>(it.key().unicode())) + ' ' + EncodeKey(it.value()) + '\n';
    file.write(text);
    if (!file.commit())
        return false;
    FChanged = false;
    return true;
}

std::optional<QChar> TDriveLetterMemory::LetterOf(const QString &key) const
{
    for (auto it = FKeyByLetter.cbegin(); it != FKeyByLetter.cend(); ++it) {
        if (it.value() == key)
            return it.key();
    }
    return std::nullopt;
}

QList<std::optional<QChar>> TDriveLetterMemory::Assign(const QStringList &keys)
{
    QList<std::optional<QChar>> letters(keys.size());
    QSet<QChar> taken;

    // Remembered letters first, so a volume listed early cannot take the
    // letter of one listed later. A key seen twice (cloned volumes) keeps its
    // letter for the first only.
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const std::optional<QChar> remembered = LetterOf(keys.at(i));
        if (remembered && !taken.contains(*remembered)) {
            letters[i] = remembered;
            taken.insert(*remembered);
        }
    }

    const auto firstLetter = [&](bool skipRemembered) -> std::optional<QChar> {
        for (char16_t u = FirstLetter; u <= LastLetter; ++u) {
            const QChar letter(u);
            if (!taken.contains(letter) && !(skipRemembered && FKeyByLetter.contains(letter)))
                return letter;
        }
        return std::nullopt;
    };
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (letters.at(i))
            continue;
        std::optional<QChar> letter = firstLetter(true);
        if (!letter)
            letter = firstLetter(false);
        if (!letter)
            continue;
        letters[i] = letter;
        taken.insert(*letter);
        if (!LetterOf(keys.at(i))) {
            FKeyByLetter.insert(*letter, keys.at(i));
            FChanged = true;
        }
    }
    return letters;
}

} // namespace trovalo
