#pragma once

#include "dialogs/ParentDialog.h"

#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPixmap;
class QVBoxLayout;

namespace trovalo {

// A choice between a few options (radio buttons) under a bold title, a text
// and a picture. OK 1, Cancel 2.
class TRatioBoxEx : public TParentDialog
{
    Q_OBJECT

public:
    explicit TRatioBoxEx(QWidget *parent = nullptr, QWidget *BlendForm = nullptr);

    void SetTitle(const QString &title);
    // The explanatory text; none hides the line.
    void SetText(const QString &text);
    void SetPicture(const QPixmap &picture);
    // The caption of the radio group.
    void SetGroupCaption(const QString &caption);
    // The options, in order; none selected until SetItemIndex.
    void SetItems(const QStringList &items);
    QStringList Items() const { return FItems; }
    // The selected option, -1 for none.
    void SetItemIndex(int index);
    int ItemIndex() const;

private:
    QString FTitle;
    QString Ftext;
    QStringList FItems;

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Image;
    QGroupBox *RadioGroup;
    QVBoxLayout *FItemLayout;
    QButtonGroup *FButtons;
};

} // namespace trovalo
