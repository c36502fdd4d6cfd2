#pragma once

#include <QWidget>

namespace trovalo {

// The used / free pie of the drive choosers: two slices, "Used Space" and
// "Free Space", with a small legend; empty (a grey ring) without data.
class TDrivePie : public QWidget
{
    Q_OBJECT

public:
    explicit TDrivePie(QWidget *parent = nullptr);

    // One data row: the two slice values in bytes (negative values count as 0).
    void SetValues(qint64 used, qint64 free);
    void Clear();

    bool HasData() const { return FHasData; }
    qint64 Used() const { return FUsed; }
    qint64 Free() const { return FFree; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool FHasData = false;
    qint64 FUsed = 0;
    qint64 FFree = 0;
};

} // namespace trovalo
