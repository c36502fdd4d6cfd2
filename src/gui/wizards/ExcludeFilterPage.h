#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace trovalo {

class TFileFilter;

// The wizards' filter page: file name extensions and file name masks to
// leave out, and the three attribute boxes, shown from and taken into a
// job's TFileFilter.
class TExcludeFilterPage : public QWidget
{
    Q_OBJECT

public:
    explicit TExcludeFilterPage(QWidget *parent = nullptr);

    void ShowFilter(const TFileFilter &filter);
    void TakeFilter(TFileFilter &filter) const;

    // "Add" of the extension tab: the text in lower case, when it starts
    // with "." and is not listed yet.
    void AddExtension();
    // "Add" of the file-name tab: the text in lower case, when not listed yet.
    void AddMask();

    QStringList Extensions() const;
    QStringList Masks() const;

private:
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QListWidget *ListBox2 = nullptr;
    QListWidget *ListBox3 = nullptr;
    QCheckBox *Excludereadonly = nullptr;
    QCheckBox *Excludehiddenfiles = nullptr;
    QCheckBox *Excludesystemfiles = nullptr;
};

} // namespace trovalo
