#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

namespace trovalo {

// One sector of a pie: its legend caption, its amount and its colour.
struct TPieSlice
{
    QString Caption;
    qint64 Value = 0; // negative amounts count as 0
    QColor Color;
};

// A small pie chart with a legend beside it: the used / free pie of the
// drive choosers ("Used Space", "Free Space"), or the space pies of the job
// wizards with four sectors. Empty (a grey ring, the legend still shown)
// without data.
class TDrivePie : public QWidget
{
    Q_OBJECT

public:
    explicit TDrivePie(QWidget *parent = nullptr);

    // The legend shown while there is no data.
    void SetCaptions(const QList<TPieSlice> &slices);
    // One data row, drawn clockwise from twelve o'clock in the given order.
    void SetSlices(const QList<TPieSlice> &slices);
    // The drive choosers' data row: used and free bytes.
    void SetValues(qint64 used, qint64 free);
    void Clear();

    bool HasData() const { return FHasData; }
    QList<TPieSlice> Slices() const { return FSlices; }
    // The amount of one sector (0 when there is none).
    qint64 Value(int index) const;
    // The two sectors of SetValues.
    qint64 Used() const { return Value(0); }
    qint64 Free() const { return Value(1); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool FHasData = false;
    QList<TPieSlice> FSlices;
};

} // namespace trovalo
