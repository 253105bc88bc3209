#pragma once
// The controls of the main window at their places (in twips) and with their looks as loaded.
// The face has no behaviour: the window connects its events to the core and shows what the
// core reports through the face's looks.
#include <QList>

class QString;

class QCheckBox;
class QPushButton;
class QWidget;

namespace vendra {

class ClickLabel;
class EntryBox;
class HoldButton;
class Lamp;
class LatchBox;
class MessageLabel;
class TallyList;
struct EditorControls;

struct MainFace {
    // Builds every control as a child of the window.
    explicit MainFace(QWidget* window);

    // The controls that only work online; disabled while offline.
    QList<QWidget*> OnlineOnly() const;
    // The controls the mapping editor drives.
    EditorControls Editor() const;
    // "Online" in green with every online control enabled, or "OFFLINE" in light red.
    void ShowOnlineLook(bool online) const;
    // The error line, painted at once: an exchange lets no events run.
    void ShowError(const QString& text) const;

    // Named as the operator's documentation names them.
    TallyList* List1 = nullptr;
    TallyList* list2 = nullptr;
    TallyList* list3 = nullptr;
    EntryBox* txtInput = nullptr;
    QPushButton* cmdMapIt = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* cmdBoolAnd = nullptr;
    QPushButton* cmdBoolOr = nullptr;
    ClickLabel* lblTallyOutputs = nullptr;
    ClickLabel* lblDownloading = nullptr;
    ClickLabel* Label10 = nullptr;
    ClickLabel* lblOutUnit = nullptr;
    ClickLabel* lblOutChannel = nullptr;
    ClickLabel* lblInUnit = nullptr;
    ClickLabel* lblInChannel = nullptr;
    ClickLabel* lblMainVersionInfo = nullptr;
    ClickLabel* lblVersionInfo = nullptr;
    MessageLabel* lblError = nullptr;
    ClickLabel* lblFileName = nullptr;
    QPushButton* cmdMin = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdOnline = nullptr;
    HoldButton* cmdTest = nullptr;
    LatchBox* chkTest = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* cmdCancelDownload = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdInit = nullptr;
    QPushButton* cmdLoadMatrix = nullptr;
    QPushButton* cmdSaveMatrix = nullptr;
    Lamp* Shape1 = nullptr;  // TX
    Lamp* Shape2 = nullptr;  // RX
};

}  // namespace vendra
