#include "diag/frm_unit_bits.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "config/enabled_units.h"
#include "link/unit_status.h"
#include "platform/numbers.h"
#include "session/services.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

namespace vendra {

namespace {

// Lamp grid in twips: four rows of two groups of four; the lower two rows sit 15 further right.
constexpr std::array<int, 4> kRowTops = {360, 1050, 1740, 2430};
constexpr std::array<int, 8> kLampLefts = {450, 630, 810, 990, 1290, 1470, 1650, 1830};
constexpr int kLowerRowsShift = 15;
constexpr int kLampWidth = 150;
constexpr int kLampHeight = 390;
// Bit numbers stand over the first and last lamp of each group.
constexpr std::array<int, 4> kNumberedColumns = {0, 3, 4, 7};
constexpr int kNumberSize = 195;
constexpr int kNumberRise = 210;
constexpr int kNumberPixels = 135;  // the bit numbers' type size, in twips

constexpr int kWindowWidth = 2415;
constexpr int kWindowHeight = 5010;

int LampLeft(int row, int column) {
    return kLampLefts[column] + (row >= 2 ? kLowerRowsShift : 0);
}

}  // namespace

UpDownArrows::UpDownArrows(QWidget* parent)
    : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    for (QToolButton* b : {up, down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
    }
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    connect(up, &QToolButton::clicked, this, [this] { StepUp(); });
    connect(down, &QToolButton::clicked, this, [this] { StepDown(); });
    EnableArrows();
}

void UpDownArrows::SetMax(int max) {
    max_ = max;
    // The value never leaves a non-empty range; an empty one leaves it untouched.
    if (max_ >= min_ && value_ > max_) value_ = max_;
    EnableArrows();
}

bool UpDownArrows::StepUp() {
    return Step(1);
}

bool UpDownArrows::StepDown() {
    return Step(-1);
}

bool UpDownArrows::Step(int delta) {
    const int next = value_ + delta;
    if (max_ < min_ || next < min_ || next > max_) return false;
    value_ = next;
    EnableArrows();
    Q_EMIT Changed(value_);
    return true;
}

void UpDownArrows::EnableArrows() {
    up->setEnabled(value_ < max_ && max_ >= min_);
    down->setEnabled(value_ > min_ && max_ >= min_);
}

void UpDownArrows::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        StepUp();
    } else if (event->key() == Qt::Key_Down) {
        StepDown();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

frmUnitBits::frmUnitBits(InputWatch& inputs, QWidget* parent)
    : QWidget(parent, Qt::Window), inputs_(inputs) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Switching on hands the keyboard back to the main window's output list.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Unit Status"));
    setFixedSize(Px(kWindowWidth), Px(kWindowHeight));
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);

    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 8; ++column) {
            auto* lamp = new Lamp(Lamp::Shape::Rectangle, this);
            lamp->setObjectName(QStringLiteral("Shape3_%1").arg(row * 8 + column + 1));
            PlaceTwips(lamp, LampLeft(row, column), kRowTops[row], kLampWidth, kLampHeight);
            lamp->SetColour(ColourFromValue(kBlack));
            lamps_[row * 8 + column] = lamp;
        }
        QFont numbers = font();
        numbers.setPixelSize(Px(kNumberPixels));
        for (int j = 0; j < 4; ++j) {
            const int column = kNumberedColumns[j];
            auto* label = new QLabel(QString::number(row * 8 + column + 1), this);
            label->setObjectName(QStringLiteral("Label1_%1").arg(row * 4 + j));
            label->setFont(numbers);
            label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
            // Centred over its lamp.
            PlaceTwips(label, LampLeft(row, column) - (kNumberSize - kLampWidth) / 2,
                       kRowTops[row] - kNumberRise, kNumberSize, kNumberSize);
            bitLabels_[row * 4 + j] = label;
        }
    }

    Label2 = new QLabel(QStringLiteral("Unit"), this);
    PlaceTwips(Label2, 450, 3120, 585, 315);
    lblWatchUnit = new QLabel(QStringLiteral("1"), this);
    lblWatchUnit->setObjectName(QStringLiteral("lblWatchUnit"));
    PlaceTwips(lblWatchUnit, 1260, 3120, 300, 315);
    UpDown1 = new UpDownArrows(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    PlaceTwips(UpDown1, 1680, 3060, 255, 465);
    UpDown1->up->setGeometry(0, 0, UpDown1->width(), UpDown1->height() / 2);
    UpDown1->down->setGeometry(0, UpDown1->height() / 2, UpDown1->width(),
                               UpDown1->height() - UpDown1->height() / 2);
    lblStatus = new QLabel(QStringLiteral("0"), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    PlaceTwips(lblStatus, 450, 3690, 1485, 345);
    // A status report rarely fits one line of this width; two lines show most of it.
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cmdClose = new QPushButton(QStringLiteral("Close Window"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    PlaceTwips(cmdClose, 390, 4320, 1635, 405);
    cmdClose->setAutoDefault(false);

    connect(&inputs_, &InputWatch::LampsChanged, this, &frmUnitBits::ShowLamps);
    connect(UpDown1, &UpDownArrows::Changed, this, &frmUnitBits::SpinnerChanged);
    connect(cmdClose, &QPushButton::clicked, this, &frmUnitBits::CloseWindowClicked);
}

void frmUnitBits::Load(const QPoint& mainTopLeft, const EnabledUnits& units) {
    units_ = units;
    move(mainTopLeft + QPoint(Px(8500), Px(450)));
    // Without a real unit (1 or above) the spinner offers nothing and unit 1 is watched.
    const int watchable = WatchableUnitCount(units_);
    UpDown1->SetMax(watchable);
    // The label follows the spinner from the start, so every enabled unit can be watched.
    if (watchable >= UpDown1->Min())
        lblWatchUnit->setText(Plain(units_.EnabledUnitList[UpDown1->Value()]));
    ShowStatus();
}

void frmUnitBits::ShowStatus() {
    const QString text = inputs_.UnitStat(WatchedUnit());
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
}

int frmUnitBits::WatchedUnit() const {
    return ReadInt16Clamped(lblWatchUnit->text());
}

void frmUnitBits::ShowLamps(quint32 lamps) {
    for (int k = 1; k <= kLamps; ++k)
        lamps_[k - 1]->SetColour(ColourFromValue(UnitStatus::LampLit(lamps, k) ? kRed : kBlack));
}

Lamp* frmUnitBits::Shape3(int k) const {
    return k >= 1 && k <= kLamps ? lamps_[k - 1] : nullptr;
}

QLabel* frmUnitBits::Label1(int i) const {
    return i >= 0 && i < int(bitLabels_.size()) ? bitLabels_[i] : nullptr;
}

void frmUnitBits::SpinnerChanged(int value) {
    lblWatchUnit->setText(Plain(units_.EnabledUnitList[value]));
    ShowStatus();
    Q_EMIT WatchedUnitChanged();
}

void frmUnitBits::closeEvent(QCloseEvent* event) {
    Q_EMIT Unloaded();
    event->accept();
}

}  // namespace vendra
