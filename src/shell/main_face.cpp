#include "shell/main_face.h"

#include <QCheckBox>
#include <QPushButton>

#include "editor/entry_box.h"
#include "editor/mapping_editor.h"
#include "editor/tally_list.h"
#include "widgets/busy_grey.h"
#include "widgets/colours.h"
#include "widgets/controls.h"

namespace vendra {

namespace {

QPushButton* Button(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* b = new QPushButton(caption, parent);
    PlaceTwips(b, l, t, w, h);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

ClickLabel* Label(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* label = new ClickLabel(caption, parent);
    PlaceTwips(label, l, t, w, h);
    return label;
}

QCheckBox* CheckBox(QWidget* parent, const QString& caption, int l, int t, int w, int h) {
    auto* c = new QCheckBox(caption, parent);
    PlaceTwips(c, l, t, w, h);
    return c;
}

}  // namespace

MainFace::MainFace(QWidget* window) {
    lblMainVersionInfo = Label(window, QString(), 3120, 720, 3495, 255);
    auto* label2 = Label(window, QString(), 3240, 720, 3015, 375);
    // The information label lies over the empty one, so its tooltip shows all along it.
    label2->stackUnder(lblMainVersionInfo);
    cmdMin = Button(window, QStringLiteral("_"), 7080, 750, 300, 300);
    cmdClose = Button(window, QStringLiteral("X"), 7440, 750, 300, 300);
    Shape1 = new Lamp(Lamp::Shape::Circle, window);
    PlaceTwips(Shape1, 945, 795, 195, 150);
    auto* label1 = Label(window, QStringLiteral("TX"), 855, 1095, 360, 180);
    Shape2 = new Lamp(Lamp::Shape::Circle, window);
    PlaceTwips(Shape2, 7905, 810, 210, 150);
    auto* label4 = Label(window, QStringLiteral("RX"), 7845, 1110, 345, 180);
    for (QLabel* l : {static_cast<QLabel*>(label1), static_cast<QLabel*>(label4)}) {
        SetBackground(l, QColor(93, 93, 177));
        SetTextColour(l, Qt::white);
        l->setAlignment(Qt::AlignCenter);
        QFont f = l->font();
        f.setPointSizeF(6.5);
        l->setFont(f);
    }
    Shape1->SetColour(ColourFromValue(kGreen));
    Shape2->SetColour(ColourFromValue(kGreen));

    cmdOnline = Button(window, QStringLiteral("OFFLINE"), 4080, 1230, 1095, 315);
    SetButtonFace(cmdOnline, ColourFromValue(kLightRed));

    // The mapping editor.
    lblTallyOutputs = Label(window, QStringLiteral("Tally Outputs"), 1245, 1680, 1635, 375);
    lblDownloading = Label(window, QStringLiteral("Download"), 1425, 1665, 2115, 345);
    lblDownloading->hide();
    Label10 = Label(window, QStringLiteral("Mapping"), 3300, 1680, 945, 315);
    for (QLabel* l : {static_cast<QLabel*>(lblTallyOutputs), static_cast<QLabel*>(lblDownloading),
                      static_cast<QLabel*>(Label10)}) {
        SetTextColour(l, Qt::white);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    QFont listFont(QStringLiteral("Arial Narrow"));
    listFont.setPointSizeF(9.75);
    listFont.setBold(true);
    auto makeList = [&](int l, int t, int w, int h) {
        auto* list = new TallyList(window);
        list->setFont(listFont);
        PlaceTwips(list, l, t, w, h);
        return list;
    };
    List1 = makeList(1050, 1980, 3690, 4110);
    list2 = makeList(4830, 1980, 3210, 4110);
    list3 = makeList(4830, 4380, 3210, 1710);
    List1->SetColours(ListBackground(), QColor(0, 255, 255));
    list2->SetColours(ListBackground(), QColor(0, 255, 255));
    list3->SetColours(QColor(128, 128, 255), Qt::black);
    list3->setToolTip(QStringLiteral("Select Seconday boolean parameter"));
    list3->hide();

    txtInput = new EntryBox(QStringLiteral("0"), window);
    PlaceTwips(txtInput, 6480, 1590, 585, 330);
    {
        QPalette p = txtInput->palette();
        p.setColor(QPalette::Base, ListBackground());
        p.setColor(QPalette::Text, Qt::white);
        txtInput->setPalette(p);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(9.75);
        txtInput->setFont(f);
    }
    cmdMapIt = Button(window, QStringLiteral("Map Tally"), 7140, 1590, 945, 315);
    SetButtonFace(cmdMapIt, ListBackground());

    Check3 = CheckBox(window, QStringLiteral("Boolean"), 1050, 7080, 1245, 285);
    cmdBoolAnd = Button(window, QStringLiteral("AND"), 5610, 4020, 795, 285);
    cmdBoolOr = Button(window, QStringLiteral("OR"), 6480, 4020, 795, 285);
    cmdBoolAnd->hide();
    cmdBoolOr->hide();

    auto caption = [&](const QString& text, int l, int t, int w, int h) {
        ClickLabel* c = Label(window, text, l, t, w, h);
        SetTextColour(c, Qt::white);
        return c;
    };
    caption(QStringLiteral("Output Unit"), 2595, 6240, 870, 285);
    lblOutUnit = caption(QStringLiteral("0"), 3585, 6210, 420, 285);
    caption(QStringLiteral("Ch"), 4095, 6240, 375, 315);
    lblOutChannel = caption(QStringLiteral("0"), 4365, 6210, 375, 285);
    caption(QStringLiteral("Input Unit"), 5925, 6240, 870, 285);
    lblInUnit = caption(QStringLiteral("0"), 6900, 6210, 420, 285);
    caption(QStringLiteral("Ch"), 7425, 6240, 375, 285);
    lblInChannel = caption(QStringLiteral("0"), 7680, 6210, 375, 285);

    // Test, diagnostics and the whole-system buttons.
    cmdTest = new HoldButton(QStringLiteral("Test"), window);
    PlaceTwips(cmdTest, 1050, 6210, 615, 285);
    // "Test" hands the focus to the output list while it is held; a button that loses the
    // focus lets itself go, which would end the test at once.
    cmdTest->setFocusPolicy(Qt::NoFocus);
    chkTest = new LatchBox(QStringLiteral("Latch"), window);
    PlaceTwips(chkTest, 1680, 6210, 615, 285);
    // "Latch" has a narrow place: a smaller box and gap keep the caption whole.
    chkTest->setStyleSheet(
        QStringLiteral("QCheckBox { spacing: %1px; } QCheckBox::indicator { width: %2px; "
                       "height: %2px; }")
            .arg(Px(30))
            .arg(Px(150)));
    Check1 = CheckBox(window, QStringLiteral("Unit Status"), 1050, 6750, 1245, 285);
    Check2 = CheckBox(window, QStringLiteral("Advanced"), 1050, 7410, 1245, 285);
    for (QWidget* w : {static_cast<QWidget*>(chkTest), static_cast<QWidget*>(Check1),
                       static_cast<QWidget*>(Check2), static_cast<QWidget*>(Check3)})
        SetTextColour(w, Qt::black);
    cmdCancelDownload = Button(window, QStringLiteral("Cancel"), 4035, 6750, 930, 285);
    cmdCancelDownload->hide();
    cmdRefresh = Button(window, QStringLiteral("Refresh"), 4035, 7080, 930, 285);
    cmdInit = Button(window, QStringLiteral("Clear All"), 4035, 7410, 930, 285);
    lblError = new MessageLabel(QStringLiteral("ERROR MESSAGE"), window);
    PlaceTwips(lblError, 5760, 6735, 2355, 285);
    SetBackground(lblError, QColor(93, 93, 177));
    SetTextColour(lblError, QColor(255, 255, 0));
    lblError->setAlignment(Qt::AlignCenter);
    lblFileName = Label(window, QStringLiteral("File"), 5850, 7035, 2220, 285);
    SetTextColour(lblFileName, Qt::white);
    lblFileName->setAlignment(Qt::AlignCenter);
    cmdLoadMatrix = Button(window, QStringLiteral("Load"), 6015, 7410, 930, 285);
    cmdSaveMatrix = Button(window, QStringLiteral("Save"), 6960, 7410, 930, 285);
    lblVersionInfo = Label(window, QString(), 1575, 7920, 4575, 375);
    Label(window, QString(), 840, 7950, 375, 255);

    // Offline until a probe succeeds.
    for (QWidget* w : OnlineOnly())
        SetOwnEnabled(w, false);
}

QList<QWidget*> MainFace::OnlineOnly() const {
    return {cmdTest, chkTest, cmdRefresh, Check1, Check2};
}

EditorControls MainFace::Editor() const {
    EditorControls c;
    c.List1 = List1;
    c.list2 = list2;
    c.list3 = list3;
    c.txtInput = txtInput;
    c.cmdMapIt = cmdMapIt;
    c.Check3 = Check3;
    c.cmdBoolAnd = cmdBoolAnd;
    c.cmdBoolOr = cmdBoolOr;
    c.lblTallyOutputs = lblTallyOutputs;
    c.lblDownloading = lblDownloading;
    c.lblOutUnit = lblOutUnit;
    c.lblOutChannel = lblOutChannel;
    c.lblInUnit = lblInUnit;
    c.lblInChannel = lblInChannel;
    c.cmdTest = cmdTest;
    c.chkTest = chkTest;
    c.cmdRefresh = cmdRefresh;
    c.cmdInit = cmdInit;
    return c;
}

void MainFace::ShowOnlineLook(bool online) const {
    cmdOnline->setText(online ? QStringLiteral("Online") : QStringLiteral("OFFLINE"));
    SetButtonFace(cmdOnline, ColourFromValue(online ? kGreen : kLightRed));
    for (QWidget* w : OnlineOnly())
        SetOwnEnabled(w, online);
}

void MainFace::ShowError(const QString& text) const {
    lblError->ShowMessage(text);
    lblError->repaint();
}

}  // namespace vendra
