#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace trovalo {

// How a job console draws the rows of its job list: the colour and picture
// of each job type, the colour of the "PC ID" cell and the schedule mark.
// The pictures are painted here, so the program ships no image files.
class TJobListStyle
{
public:
    // Text colour of a type text; invalid for "<Error>" and unknown texts
    // (they keep the list's own colour).
    static QColor TypeColor(const QString &typeText);
    // Blue for this computer's own ID (exact text), rose for an unreadable
    // job, orange for anything else (another computer, "<N/A>").
    static QColor PCIDColor(const QString &jobPCID, const QString &ownPCID);
    // The schedule mark (0 none, 1 active, 2 inactive) followed by the
    // type's picture, as one icon of RowIconSize().
    static QIcon RowIcon(const QString &typeText, int scheduleMark);
    static QSize RowIconSize();
    // The type's picture alone, Size pixels square (the direction chooser's
    // picture).
    static QPixmap TypePicture(const QString &typeText, int size);

    // "Backup From USB", "Backup To USB", "USB To USB": jobs with backup
    // data that can be restored.
    static bool IsBackupType(const QString &typeText);
};

} // namespace trovalo
