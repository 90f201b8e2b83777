#include "app/ModelChooserList.h"

#include <QFont>
#include <QFontMetrics>
#include <QResizeEvent>
#include <QStyle>

#include <algorithm>

namespace vaultix::app {

TModelChooserList::TModelChooserList(QWidget* Parent) : QListWidget(Parent) {
    QFont Fixed(QStringLiteral("Courier New"));
    Fixed.setStyleHint(QFont::TypeWriter);
    Fixed.setFixedPitch(true);
    setFont(Fixed);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Four whole rows; the rows are laid out as if the sideways scroll bar always showed.
    setFixedHeight(VisibleRows * RowHeight() +
                   style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) +
                   2 * frameWidth() + 2);
    const int Longest = ColumnWidthFor(QString(LongestEntryChars, QLatin1Char('W')));
    setMinimumWidth(2 * Longest + 2 * frameWidth());
    FitColumns();
}

int TModelChooserList::RowHeight() const {
    return fontMetrics().height() + 2;
}

int TModelChooserList::ColumnWidthFor(const QString& Text) const {
    // One letter more for the entry's own margins and focus frame.
    return fontMetrics().horizontalAdvance(Text) +
           fontMetrics().horizontalAdvance(QLatin1Char('W'));
}

void TModelChooserList::FitColumns() {
    int Width = viewport()->width() / 2;
    for (int Row = 0; Row < count(); ++Row)
        Width = std::max(Width, ColumnWidthFor(item(Row)->text()));
    setGridSize(QSize(Width, RowHeight()));
}

void TModelChooserList::resizeEvent(QResizeEvent* Event) {
    QListWidget::resizeEvent(Event);
    FitColumns();
}

} // namespace vaultix::app
