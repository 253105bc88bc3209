#pragma once
// Whether the console believes the controller answers, the probe that decides it, the
// controller's version and the information texts built from it.
#include <QObject>
#include <QString>

#include "link/error_report.h"

namespace vendra {

class CommandExchange;
class Dialogs;

class OnlineState : public QObject {
    Q_OBJECT
public:
    // Pause between the controller's first answer and the version request.
    static constexpr int kSettleMs = 100;

    OnlineState(CommandExchange& exchange, Dialogs& dialogs, QObject* parent = nullptr);

    // True from a successful probe until GoOffline or a failed probe.
    bool Online = false;
    // The controller's version text; "MAINV0" when its answer carries none.
    QString MainCPUVersion;
    // Controller version, program version, installation name and port on one line.
    QString InfoString;
    // The version tooltip: program version and credit line.
    QString VersionInfo;
    // From the configuration file.
    QString SystemName;
    int VendraCommport = 1;

    // Probes the controller; on no answer asks the operator whether to retry.
    bool GoOnline();
    // Offline look; no traffic, the port stays open.
    void GoOffline();
    // Asks the controller for its version and sets MainCPUVersion.
    void GetVersion();
    // Sets InfoString and VersionInfo and reports both.
    void MakeInfoString();
    // The "OFFLINE"/"Online" button.
    void ToggleOnline();

    // The pause after the first answer; kSettleMs unless a test sets another.
    void SetSettleMs(int ms) { settleMs_ = ms; }

Q_SIGNALS:
    // The console went online (a probe was answered) or offline.
    void OnlineChanged(bool online);
    // The error line is cleared.
    void ErrorReported(const ErrorReport& error);
    // The tooltips of the main information label and of the version label.
    void InfoTexts(const QString& mainInfoTip, const QString& versionTip);

private:
    CommandExchange& exchange_;
    Dialogs& dialogs_;
    int settleMs_ = kSettleMs;
};

}  // namespace vendra
