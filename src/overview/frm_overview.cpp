#include "overview/frm_overview.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vendra {

namespace {

QColor LitColour(TallyColour c) {
    switch (c) {
        case TallyColour::Red:
            return QColor(230, 30, 30);
        case TallyColour::Green:
            return QColor(30, 160, 60);
        case TallyColour::Amber:
            return QColor(230, 150, 0);
    }
    return QColor(230, 30, 30);
}

QColor LampColour(LampState s, TallyColour lit) {
    switch (s) {
        case LampState::Lit:
            return LitColour(lit);
        case LampState::Dark:
            return QColor(40, 40, 40);
        case LampState::Unknown:
            return QColor(150, 150, 150);
    }
    return {};
}

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

}  // namespace

frmOverview::frmOverview(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Tally Overview"));
    chkLitOnly = new QCheckBox(QStringLiteral("lit only"), this);
    chkLitOnly->setObjectName(QStringLiteral("chkLitOnly"));
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(QStringLiteral("Search names"));
    txtSearch->setClearButtonEnabled(true);
    lblLitCount = new QLabel(this);
    lblLitCount->setObjectName(QStringLiteral("lblLitCount"));
    lblAlarm = new QLabel(this);
    lblAlarm->setObjectName(QStringLiteral("lblAlarm"));
    lblAlarm->setWordWrap(true);
    lblAlarm->setStyleSheet(QStringLiteral(
        "QLabel { background: rgb(200, 0, 0); color: white; font-weight: bold; padding: 4px; }"));
    lblAlarm->hide();
    table = new QTableWidget(0, kColumns, this);
    table->setObjectName(QStringLiteral("tblLamps"));
    table->setHorizontalHeaderLabels({QStringLiteral("Output"), QStringLiteral("Unit"),
                                      QStringLiteral("Channel"), QStringLiteral("Lamp"),
                                      QStringLiteral("Mapping"), QStringLiteral("Reason")});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(kName, 140);
    table->setColumnWidth(kUnit, 40);
    table->setColumnWidth(kChannel, 55);
    table->setColumnWidth(kLamp, 65);
    table->setColumnWidth(kMapping, 160);

    auto* bar = new QHBoxLayout;
    bar->addWidget(chkLitOnly);
    bar->addWidget(txtSearch, 1);
    bar->addWidget(lblLitCount);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(lblAlarm);
    layout->addWidget(table);
    resize(760, 420);

    connect(chkLitOnly, &QCheckBox::toggled, this, &frmOverview::ApplyFilter);
    connect(txtSearch, &QLineEdit::textChanged, this, &frmOverview::ApplyFilter);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] {
        const QList<QTableWidgetItem*> picked = table->selectedItems();
        if (!picked.isEmpty() && picked.first()->row() < rows_.size())
            Q_EMIT OutputSelected(rows_[picked.first()->row()].Output);
    });
}

void frmOverview::ShowRows(const QList<LampRow>& rows) {
    const bool rebuilt = rows.size() != rows_.size();
    if (rebuilt) table->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i)
        if (rebuilt || rows[i] != rows_[i]) ShowRow(i, rows[i]);
    rows_ = rows;
    int lit = 0;
    int unknown = 0;
    for (const LampRow& r : rows_) {
        lit += r.Lamp == LampState::Lit ? 1 : 0;
        unknown += r.Lamp == LampState::Unknown ? 1 : 0;
    }
    QString count = QStringLiteral("%1 of %2 lit").arg(lit).arg(rows_.size());
    if (unknown > 0) count += QStringLiteral(", %1 unknown").arg(unknown);
    lblLitCount->setText(count);
    ApplyFilter();
}

void frmOverview::SetLitColours(const QHash<int, TallyColour>& colours) {
    litColours_ = colours;
    for (int i = 0; i < rows_.size(); ++i)
        ShowRow(i, rows_[i]);
}

void frmOverview::ShowSilentUnits(const QList<int>& units) {
    QStringList numbers;
    for (int u : units)
        numbers.append(QString::number(u));
    const QString text =
        units.size() == 1
            ? QStringLiteral("Unit %1 does not answer: its inputs are unknown").arg(numbers[0])
            : QStringLiteral("Units %1 do not answer: their inputs are unknown")
                  .arg(numbers.join(QStringLiteral(", ")));
    lblAlarm->setText(units.isEmpty() ? QString() : text);
    lblAlarm->setVisible(!units.isEmpty());
}

void frmOverview::ShowRow(int i, const LampRow& row) {
    SetCell(table, i, kName, row.Name);
    SetCell(table, i, kUnit, QString::number(row.Unit));
    SetCell(table, i, kChannel, QString::number(row.Channel));
    SetCell(table, i, kLamp, StateText(row.Lamp));
    SetCell(table, i, kMapping, row.Mapping);
    SetCell(table, i, kReason, row.Reason);
    QTableWidgetItem* lamp = table->item(i, kLamp);
    lamp->setBackground(LampColour(row.Lamp, litColours_.value(row.Output, TallyColour::Red)));
    lamp->setForeground(QColor(Qt::white));
    table->item(i, kName)->setToolTip(QStringLiteral("Output %1").arg(row.Output));
}

void frmOverview::ApplyFilter() {
    const bool litOnly = chkLitOnly->isChecked();
    const QString wanted = txtSearch->text().trimmed();
    for (int i = 0; i < rows_.size(); ++i) {
        const LampRow& r = rows_[i];
        const bool named = wanted.isEmpty() || r.Name.contains(wanted, Qt::CaseInsensitive) ||
                           r.Mapping.contains(wanted, Qt::CaseInsensitive);
        table->setRowHidden(i, !named || (litOnly && r.Lamp != LampState::Lit));
    }
}

void frmOverview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Q_EMIT Visible(true);
}

void frmOverview::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Q_EMIT Visible(false);
}

}  // namespace vendra
