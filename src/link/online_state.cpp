#include "link/online_state.h"

#include <QThread>

#include "link/command_exchange.h"
#include "platform/dialogs.h"
#include "platform/numbers.h"
#include "platform/version.h"

namespace vendra {

OnlineState::OnlineState(CommandExchange& exchange, Dialogs& dialogs, QObject* parent)
    : QObject(parent), exchange_(exchange), dialogs_(dialogs) {}

bool OnlineState::GoOnline() {
    bool result = false;
    for (;;) {
        exchange_.SendCommand(QString());
        // Any answer at all counts, even one without its terminator.
        if (exchange_.SendCommand(QStringLiteral("\rVER"))) {
            QThread::msleep(settleMs_);
            Online = true;
            result = true;
            Q_EMIT OnlineChanged(true);
            GetVersion();
            break;
        }
        const Answer retry = dialogs_.Message(
            QStringLiteral("No Communications to Tally system") + QStringLiteral("\r\n") +
                QStringLiteral("Do you want to retry?"),
            QStringLiteral("Communication Error"), Buttons::YesNo, Icon::None, Answer::Yes);
        const bool again = retry == Answer::Yes;
        if (again) {
            Q_EMIT ErrorReported(ErrorReport::Cleared());
        } else {
            GoOffline();
            dialogs_.Message(QStringLiteral("Going To Offline Mode"),
                             QStringLiteral("Communication Error"), Buttons::Ok);
        }
        Q_EMIT ErrorReported(ErrorReport::Cleared());
        Online = false;
        if (!again) break;
    }
    MakeInfoString();
    return result;
}

void OnlineState::GoOffline() {
    Online = false;
    Q_EMIT OnlineChanged(false);
}

void OnlineState::GetVersion() {
    exchange_.SendCommand(QString());
    exchange_.SendCommand(QString());
    exchange_.SendCommand(QStringLiteral("VER"));
    const QString& reply = exchange_.IBuffer;
    const qsizetype p = reply.indexOf(QStringLiteral("MAIN")) + 1;  // 1-based, 0 when absent
    const qsizetype n = reply.size();
    if (n < 5 || p == 0) {
        MainCPUVersion = QStringLiteral("MAINV0");
        return;
    }
    // From "MAIN" up to the reply's last character, the terminator, which is left out.
    MainCPUVersion = reply.mid(p - 1, n - p);
    // Their flushes clear away whatever followed a "." inside the version text.
    exchange_.SendCommand(QString());
    exchange_.SendCommand(QString());
}

void OnlineState::MakeInfoString() {
    const QString three = QStringLiteral("   ");
    InfoString = MainCPUVersion + three + QStringLiteral("V") + SignColumn(kVersionMajor) +
                 QStringLiteral(".") + SignColumn(kVersionMinor) + three + SystemName + three +
                 QStringLiteral("Com") + SignColumn(VendraCommport);
    VersionInfo = QStringLiteral("Version ") + SignColumn(kVersionMajor) + QStringLiteral(".") +
                  SignColumn(kVersionMinor) + QStringLiteral(".") + SignColumn(kVersionRevision) +
                  QStringLiteral(" - Vendra tally console, built by the Vendra developers");
    Q_EMIT InfoTexts(InfoString, VersionInfo);
}

void OnlineState::ToggleOnline() {
    Q_EMIT ErrorReported(ErrorReport::Cleared());
    if (Online) {
        GoOffline();
        return;
    }
    dialogs_.Message(QStringLiteral("You have chosen to go Online") + QStringLiteral("\r\n") +
                         QStringLiteral("Mappings displayed may not agree with current Tally "
                                        "System Mappings"),
                     QStringLiteral("Information!"), Buttons::Ok);
    GoOnline();
}

}  // namespace vendra
