#pragma once

#include <QFrame>

class QLabel;

namespace trovalo {

// The small frameless window that shows the program's name and version; a
// click anywhere on it hides it again.
class TAboutWindow : public QFrame
{
    Q_OBJECT

public:
    explicit TAboutWindow(QWidget *parent = nullptr);

    QString Text() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *FLabel = nullptr;
};

} // namespace trovalo
