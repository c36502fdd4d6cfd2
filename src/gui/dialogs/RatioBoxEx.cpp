#include "dialogs/RatioBoxEx.h"

#include "MessageBoxes.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace trovalo {

TRatioBoxEx::TRatioBoxEx(QWidget *parent, QWidget *BlendForm)
    : TParentDialog(parent, BlendForm)
    , Label1(new QLabel(this))
    , Label2(new QLabel(this))
    , Image(new QLabel(this))
    , RadioGroup(new QGroupBox(this))
    , FItemLayout(new QVBoxLayout(RadioGroup))
    , FButtons(new QButtonGroup(this))
{
    SetUpTitleAndText(Label1, Label2);
    Image->setObjectName(QStringLiteral("Image"));
    RadioGroup->setObjectName(QStringLiteral("RadioGroup"));
    Label2->hide();
    Image->hide();
    FButtons->setExclusive(true);

    auto *okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("BtnOK"));
    okButton->setDefault(true);
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("BtnCancel"));
    connect(okButton, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { done(mrCancel); });

    // The labels take the height of their text; the window follows.
    auto *texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Label2);
    auto *header = new QHBoxLayout;
    header->addWidget(Image, 0, Qt::AlignTop);
    header->addLayout(texts, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(RadioGroup);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(380);
}

void TRatioBoxEx::SetTitle(const QString &title)
{
    FTitle = title;
    Label1->setText(title);
}

void TRatioBoxEx::SetText(const QString &text)
{
    Ftext = text;
    Label2->setText(text);
    Label2->setVisible(!text.isEmpty());
}

void TRatioBoxEx::SetPicture(const QPixmap &picture)
{
    Image->setPixmap(picture);
    Image->setVisible(!picture.isNull());
}

void TRatioBoxEx::SetGroupCaption(const QString &caption)
{
    RadioGroup->setTitle(caption);
}

void TRatioBoxEx::SetItems(const QStringList &items)
{
    for (QAbstractButton *button : FButtons->buttons()) {
        FButtons->removeButton(button);
        delete button;
    }
    FItems = items;
    for (int index = 0; index < items.size(); ++index) {
        auto *radio = new QRadioButton(items.at(index), RadioGroup);
        radio->setObjectName(QStringLiteral("RadioItem%1").arg(index));
        FButtons->addButton(radio, index);
        FItemLayout->addWidget(radio);
    }
}

void TRatioBoxEx::SetItemIndex(int index)
{
    if (QAbstractButton *button = FButtons->button(index)) {
        button->setChecked(true);
        return;
    }
    // No option: clear the choice, which an exclusive group refuses.
    FButtons->setExclusive(false);
    for (QAbstractButton *button : FButtons->buttons())
        button->setChecked(false);
    FButtons->setExclusive(true);
}

int TRatioBoxEx::ItemIndex() const
{
    return FButtons->checkedId();
}

} // namespace trovalo
