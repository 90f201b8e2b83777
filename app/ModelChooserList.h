#pragma once
// The model chooser's list. Its entries run top to bottom in columns of four rows, two columns
// side by side, and scroll sideways when there are more. A column is half the list wide but
// never narrower than the widest entry, so that every entry shows its number and whole name,
// also on the first showing, before the list has ever been laid out.

#include <QListWidget>

class QResizeEvent;

namespace vaultix::app {

class TModelChooserList final : public QListWidget {
public:
    static constexpr int VisibleRows = 4;
    // The longest entry: a three-digit number, a blank and a 16-letter name.
    static constexpr int LongestEntryChars = 20;

    explicit TModelChooserList(QWidget* Parent);

    // Sizes the columns for the entries the list holds now.
    void FitColumns();

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    int RowHeight() const;
    int ColumnWidthFor(const QString& Text) const;
};

} // namespace vaultix::app
