#include "editor/tally_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

namespace vendra {

TallyList::TallyList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setItemsExpandable(false);
    setIndentation(0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { Q_EMIT RowClicked(indexOfTopLevelItem(item)); });
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { Q_EMIT RowDoubleClicked(indexOfTopLevelItem(item)); });
}

void TallyList::SetColumnWidths(const QList<int>& characters) {
    setColumnCount(static_cast<int>(characters.size()));
    int unit = fontMetrics().averageCharWidth();
    // Where the list font is missing, a wider stand-in must not push columns out of sight.
    int total = 0;
    for (int c : characters)
        total += c;
    const int room = width() - 2 * frameWidth() - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (total > 0 && unit * total > room) unit = std::max(1, room / total);
    for (int c = 0; c < characters.size(); ++c)
        setColumnWidth(c, characters[c] * unit);
}

void TallyList::AddRow(const QString& tabText) {
    auto* item = new QTreeWidgetItem(tabText.split(QLatin1Char('\t')));
    item->setData(0, Qt::UserRole, tabText);
    if (background_.isValid())
        for (int c = 0; c < columnCount(); ++c)
            item->setBackground(c, background_);
    addTopLevelItem(item);
}

QString TallyList::RowText(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

void TallyList::SetSelectedText(const QString& tabText) {
    QTreeWidgetItem* item = currentItem();
    if (!item) return;
    const QStringList parts = tabText.split(QLatin1Char('\t'));
    const int columns = std::max(columnCount(), static_cast<int>(parts.size()));
    for (int c = 0; c < columns; ++c)
        item->setText(c, c < parts.size() ? parts[c] : QString());
    item->setData(0, Qt::UserRole, tabText);
}

int TallyList::SelectedIndex() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}

void TallyList::SetSelectedIndex(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return;
    setCurrentItem(item);
    scrollToItem(item);
}

void TallyList::SetRowBackground(int row, const QColor& colour) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return;
    for (int c = 0; c < std::max(1, columnCount()); ++c)
        item->setBackground(c, colour);
}

QColor TallyList::RowBackground(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return {};
    const QBrush b = item->background(0);
    return b.style() == Qt::NoBrush ? background_ : b.color();
}

void TallyList::SetColours(const QColor& background, const QColor& text) {
    background_ = background;
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
}

void TallyList::keyPressEvent(QKeyEvent* event) {
    if (keyPressHook && keyPressHook(event)) {
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TallyList::keyReleaseEvent(QKeyEvent* event) {
    if (keyReleaseHook) keyReleaseHook(event);
    QTreeWidget::keyReleaseEvent(event);
}

void TallyList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    Q_EMIT MouseReleased();
}

}  // namespace vendra
