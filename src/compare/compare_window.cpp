#include "compare/compare_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "mapping/mapping_tables.h"
#include "widgets/busy_grey.h"

namespace vendra {

namespace {

QColor DifferenceColour(Difference d) {
    switch (d) {
        case Difference::Added:
            return QColor(210, 245, 210);
        case Difference::Removed:
            return QColor(250, 215, 215);
        case Difference::Changed:
        case Difference::Repeated:
            return QColor(250, 240, 190);
        case Difference::Same:
            break;
    }
    return {};
}

QStandardItem* Text(const QString& text, const QString& tip = QString()) {
    auto* item = new QStandardItem(text);
    if (!tip.isEmpty()) item->setToolTip(tip);
    return item;
}

// Numbers sort as numbers; 0 stands for none and shows empty.
QStandardItem* Number(int n) {
    auto* item = new QStandardItem;
    if (n != 0) item->setData(n, Qt::DisplayRole);
    item->setData(n, Qt::UserRole);
    return item;
}

}  // namespace

CompareWindow::CompareWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    model_ = new QStandardItemModel(this);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(Qt::UserRole);
    proxy_->setFilterKeyColumn(kDifference);

    lblSummary = new QLabel(this);
    lblSummary->setWordWrap(true);
    chkDifferencesOnly = new QCheckBox(QStringLiteral("Differences only"), this);
    table = new QTableView(this);
    table->setModel(proxy_);
    table->sortByColumn(kOutput, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    // 999 rows: one fixed row height, so the view never measures every row.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(false);
    cmdApply = new QPushButton(QStringLiteral("Apply changes only"), this);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(lblSummary, 1);
    top->addWidget(chkDifferencesOnly);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdApply);
    bottom->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table, 1);
    layout->addLayout(bottom);
    resize(980, 640);

    connect(chkDifferencesOnly, &QCheckBox::toggled, this, [this](bool on) {
        proxy_->setFilterFixedString(on ? QStringLiteral("*") : QString());
    });
    connect(cmdApply, &QPushButton::clicked, this, &CompareWindow::ApplyRequested);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void CompareWindow::Show(const QString& title, const QString& summary,
                         const QList<OutputComparison>& rows, const QString& fileSide,
                         const QString& controllerSide, bool canApply) {
    setWindowTitle(title);
    lblSummary->setText(summary);
    model_->clear();
    model_->setHorizontalHeaderLabels({QStringLiteral("Output"), QStringLiteral("Name"),
                                       QStringLiteral("Unit"), QStringLiteral("Channel"), fileSide,
                                       controllerSide, QStringLiteral("Difference"),
                                       QStringLiteral("Line")});
    model_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const OutputComparison& c = rows[r];
        const QString name = c.Output ? c.Name : QStringLiteral("(not in Kavro.ini)");
        QList<QStandardItem*> items{
            Number(c.Output),
            Text(name),
            Number(c.Unit),
            Number(c.Channel),
            Text(c.FileInputs, c.FileMap),
            Text(c.ControllerInputs, c.ControllerMap),
            Text(c.Note().isEmpty()
                     ? DifferenceText(c.Kind)
                     : QStringLiteral("%1: %2").arg(DifferenceText(c.Kind), c.Note())),
            Number(c.FileLine)};
        // The filter keeps rows whose difference column holds a "*" in its filter role.
        items[kDifference]->setData(c.Kind == Difference::Same ? QString() : QStringLiteral("*"),
                                    Qt::UserRole + 1);
        items[kDifference]->setData(static_cast<int>(c.Kind), Qt::UserRole);
        // Outputs that Kavro.ini lacks sort after the configured ones, in their own order.
        items[kOutput]->setData(c.Output ? c.Output : kMaxOutputs + 1 + r, Qt::UserRole);
        items[kName]->setData(name.toLower(), Qt::UserRole);
        items[kFile]->setData(c.FileInputs.toLower(), Qt::UserRole);
        items[kController]->setData(c.ControllerInputs.toLower(), Qt::UserRole);
        for (int col = 0; col < items.size(); ++col) {
            if (c.Kind != Difference::Same) items[col]->setBackground(DifferenceColour(c.Kind));
            model_->setItem(r, col, items[col]);
        }
    }
    proxy_->setFilterRole(Qt::UserRole + 1);
    table->resizeColumnsToContents();
    table->setColumnWidth(kFile, qMax(table->columnWidth(kFile), 220));
    table->setColumnWidth(kController, qMax(table->columnWidth(kController), 220));
    SetOwnEnabled(cmdApply, canApply);
    show();
    raise();
    activateWindow();
}

int CompareWindow::VisibleRows() const {
    return proxy_->rowCount();
}

QString CompareWindow::Cell(int row, Column column) const {
    return proxy_->index(row, column).data(Qt::DisplayRole).toString();
}

}  // namespace vendra
