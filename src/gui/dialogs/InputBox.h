#pragma once

#include "dialogs/ParentDialog.h"

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace trovalo {

// One line of input with a bold title and a prompt. "OK" checks the text
// (the verify-input callback, then the folder-name rule) and stays open
// with an error message when it fails; "Cancel" keeps the preset value.
class TInputBox : public TParentDialog
{
    Q_OBJECT

public:
    // Given the text: true to accept, or false with the error to show.
    using TVerifyInput = std::function<bool(const QString &text, QString &errorMessage)>;

    explicit TInputBox(QWidget *parent = nullptr, QWidget *BlendForm = nullptr);

    void SetTitle(const QString &title);
    void SetText(const QString &text);
    // The value, also shown in the edit.
    void SetValue(const QString &value);
    // The preset value, or the edit's text once closed with OK.
    QString Value() const { return FDefaultStr; }
    // Digits may be typed. Ignored while only digits are allowed.
    void SetAllowNumbers(bool allow);
    // Only digits may be typed (true also allows them).
    void SetOnlyNumbers(bool only);
    // The value must be a valid folder name.
    void SetRequestFileName(bool request) { FRequestFileName = request; }
    void SetVerifyInput(TVerifyInput verify) { FVerifyInput = std::move(verify); }
    // Hides what is typed (passwords): bullets in bold.
    void SetMasked(bool masked);

    bool AllowNumbers() const { return FAllowNumbers; }
    bool OnlyNumbers() const { return FOnlyNumbers; }

    // Whether a typed character passes the typing rules (Backspace and Tab
    // always do).
    bool AcceptsTyped(QChar character) const;
    // The error for a folder name, empty when it is valid.
    static QString FolderNameError(const QString &name);

    // Asks for a folder name in a box that dims BlendForm. Name is the
    // preset and receives the value; true when closed with OK.
    static bool FileNameRequest(QWidget *BlendForm, const QString &inMessage, QString &Name,
                                const QString &inTitle, const QString &inCaption);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OkClick();
    void ShowInputError(const QString &message);

    QString FTitle;
    QString Ftext;
    QString FDefaultStr;
    bool FAllowNumbers = true;
    bool FOnlyNumbers = false;
    bool FRequestFileName = false;
    TVerifyInput FVerifyInput;

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Edit1;
    QPushButton *BtnOK;
    QPushButton *BtnCancel;
};

} // namespace trovalo
