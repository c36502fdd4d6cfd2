#include "wizards/ExcludeFilterPage.h"

#include "model/FileFilter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace trovalo {

namespace {
QStringList Items(const QListWidget *list)
{
    QStringList items;
    for (int row = 0; row < list->count(); ++row)
        items << list->item(row)->text();
    return items;
}

void RemoveSelected(QListWidget *list)
{
    qDeleteAll(list->selectedItems());
}

bool AddUnique(QListWidget *list, QLineEdit *edit, bool extension)
{
    const QString text = edit->text().trimmed().toLower();
    if (text.isEmpty() || (extension && (!text.startsWith(QLatin1Char('.')) || text.size() < 2)) ||
        Items(list).contains(text))
        return false;
    list->addItem(text);
    edit->clear();
    return true;
}

// One tab with an edit, its "Add" and "Remove" buttons and the list.
QWidget *ListTab(const QString &name, QLineEdit *&edit, QListWidget *&list, const QString &editName,
                 const QString &listName, std::function<void()> add)
{
    auto *tab = new QWidget;
    tab->setObjectName(name);
    auto *layout = new QVBoxLayout(tab);
    auto *row = new QHBoxLayout;
    edit = new QLineEdit(tab);
    edit->setObjectName(editName);
    auto *addButton = new QPushButton(QStringLiteral("Add"), tab);
    addButton->setObjectName(editName + QStringLiteral("Add"));
    auto *removeButton = new QPushButton(QStringLiteral("Remove"), tab);
    removeButton->setObjectName(editName + QStringLiteral("Remove"));
    row->addWidget(edit, 1);
    row->addWidget(addButton);
    row->addWidget(removeButton);
    layout->addLayout(row);
    list = new QListWidget(tab);
    list->setObjectName(listName);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list, 1);
    QObject::connect(addButton, &QPushButton::clicked, tab, add);
    QObject::connect(edit, &QLineEdit::returnPressed, tab, add);
    QListWidget *target = list;
    QObject::connect(removeButton, &QPushButton::clicked, tab, [target] { RemoveSelected(target); });
    return tab;
}
} // namespace

TExcludeFilterPage::TExcludeFilterPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ExcludeFilter"));
    auto *layout = new QVBoxLayout(this);
    auto *note = new QLabel(
        QStringLiteral(
            "Files match any line within the three tabs below, will be exclude from backup.Wildcards "
            "'*' and '?' can be used.\n"
            "Exclude file name extensions ( Examples; .doc, .jpg, .mp3)\n"
            "Exclude file name (Examples: *.txt, ~*.doc, t?mp.doc)\n"
            "Exclude file Attributes (Examples: read-only, hidden, system files)"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("FilterTabs"));
    tabs->addTab(ListTab(QStringLiteral("TabExtensions"), Edit1, ListBox2, QStringLiteral("Edit1"),
                         QStringLiteral("ListBox2"), [this] { AddExtension(); }),
                 QStringLiteral("Exclude File Name Extensions"));
    tabs->addTab(ListTab(QStringLiteral("TabNames"), Edit2, ListBox3, QStringLiteral("Edit2"),
                         QStringLiteral("ListBox3"), [this] { AddMask(); }),
                 QStringLiteral("Exclude File Names"));
    auto *attributes = new QWidget;
    attributes->setObjectName(QStringLiteral("TabAttributes"));
    auto *boxes = new QVBoxLayout(attributes);
    const auto box = [attributes, boxes](const char *name, const QString &caption) {
        auto *check = new QCheckBox(caption, attributes);
        check->setObjectName(QLatin1String(name));
        boxes->addWidget(check);
        return check;
    };
    Excludereadonly = box("Excludereadonly", QStringLiteral("Exclude read-only files"));
    Excludehiddenfiles = box("Excludehiddenfiles", QStringLiteral("Exclude hidden files"));
    Excludesystemfiles = box("Excludesystemfiles", QStringLiteral("Exclude system files"));
    boxes->addStretch(1);
    tabs->addTab(attributes, QStringLiteral("Exclude File Attributes"));
    layout->addWidget(tabs, 1);
}

void TExcludeFilterPage::ShowFilter(const TFileFilter &filter)
{
    ListBox2->clear();
    ListBox2->addItems(filter.ExcludeFileExtList());
    ListBox3->clear();
    ListBox3->addItems(filter.ExcludeMaskList());
    Excludereadonly->setChecked(filter.ReadOnly());
    Excludehiddenfiles->setChecked(filter.Hidden());
    Excludesystemfiles->setChecked(filter.System());
}

void TExcludeFilterPage::TakeFilter(TFileFilter &filter) const
{
    filter.SetExcludeMaskList(Masks());
    filter.SetExcludeFileExtList(Extensions());
    filter.SetReadOnly(Excludereadonly->isChecked());
    filter.SetHidden(Excludehiddenfiles->isChecked());
    filter.SetSystem(Excludesystemfiles->isChecked());
}

void TExcludeFilterPage::AddExtension()
{
    AddUnique(ListBox2, Edit1, true);
}

void TExcludeFilterPage::AddMask()
{
    AddUnique(ListBox3, Edit2, false);
}

QStringList TExcludeFilterPage::Extensions() const
{
    return Items(ListBox2);
}

QStringList TExcludeFilterPage::Masks() const
{
    return Items(ListBox3);
}

} // namespace trovalo
