#include "progress/JobLogFile.h"

#include "base/Exceptions.h"

#include <QDir>
#include <QSaveFile>

namespace trovalo {

namespace {

const QByteArray LineEnd("\r\n");

void AppendLine(QByteArray &out, const QString &line)
{
    // The locale's 8-bit encoding, as other programs on this computer read
    // text files; Qt 6 takes it to be UTF-8 on Linux, which is what desktop
    // locales use in practice.
    out += line.toLocal8Bit();
    out += LineEnd;
}

} // namespace

QString TJobLogFile::StatusText(TJobLogState state)
{
    switch (state) {
    case jlsSuccess:
        return QStringLiteral("Success");
    case jlsFailed:
        return QStringLiteral("Failed");
    case jlsThreadError:
        return QStringLiteral("Thread Error");
    }
    return QString();
}

QByteArray TJobLogFile::Render(const QList<TJobLogLine> &rows)
{
    const QString separator(82, QLatin1Char('='));
    const QChar tab(QLatin1Char('\t'));
    QByteArray out;
    AppendLine(out, separator);
    AppendLine(out, QString(4, tab) + QStringLiteral("Trovalo File Log"));
    AppendLine(out, separator);
    AppendLine(out, QStringLiteral("Time Stamp\t\tAction\t\tStatus\tFile Name"));
    AppendLine(out, separator);
    for (const TJobLogLine &row : rows)
        AppendLine(out, row.TimeStamp + tab + row.Action + tab + StatusText(row.State) + tab + row.FileName);
    AppendLine(out, separator);
    AppendLine(out, QStringLiteral("End Log."));
    return out;
}

void TJobLogFile::Save(const QString &NativePath, const QList<TJobLogLine> &rows)
{
    const QByteArray content = Render(rows);
    QSaveFile file(NativePath);
    // Never falls back to writing over the file in place.
    file.setDirectWriteFallback(false);
    const auto fail = [&] {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw EFileError(QStringLiteral("The log could not be saved as %1: %2")
                             .arg(QDir::toNativeSeparators(NativePath), reason));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    if (file.write(content) != content.size())
        fail();
    if (!file.commit())
        fail();
}

} // namespace trovalo
