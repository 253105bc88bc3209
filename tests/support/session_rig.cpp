#include "support/session_rig.h"

#include <QFile>

#include "config/kavro_config.h"
#include "support/session_internals.h"
#include "widgets/captions.h"

namespace vendra {

QString SampleIni(int outputs, int inputs, const QString& extra) {
    QString ini =
        QStringLiteral("[Vendra]\r\nSystem=Test Studio\r\nCommPort=1\r\nEnabledUnits=1,2\r\n");
    for (int i = 1; i <= outputs; ++i)
        ini += QStringLiteral("Output %1=Out %1,1,%1\r\n").arg(i);
    for (int i = 1; i <= inputs; ++i)
        ini += QStringLiteral("Input %1=In %1,2,%1\r\n").arg(i);
    return ini + extra;
}

void ModelRig::WriteIni(const QString& text) {
    QFile f(IniPath());
    if (f.open(QIODevice::WriteOnly)) f.write(text.toLatin1());
}

QString ModelRig::IniPath() const {
    return KavroIniPath(dir.path());
}

std::unique_ptr<SerialPort> ModelRig::MakePort(bool realPort) {
    if (realPort) return nullptr;
    auto modelPort = std::make_unique<ModelPort>(model);
    port = modelPort.get();
    port->refuseOpen = refusePort;
    return modelPort;
}

// The model answers inside the write, before any wait begins: the deadline only bounds a silent
// line, and a tenth of a second of silence is as telling as two seconds.
constexpr int kModelDeadlineMs = 100;

SessionTimings ModelRig::Timings(bool realPort) const {
    SessionTimings t = timings;
    if (t.deadlineMs == 0)
        t.deadlineMs = realPort ? CommandExchange::kDeadlineMs : kModelDeadlineMs;
    return t;
}

void ModelRig::UseLineClock(ConsoleSession& s, bool realPort) {
    if (!realPort && port && timings.deadlineMs == 0)
        SessionInternals::SetLineClock(s, port->Clock());
}

QStringList ModelRig::TakeLog() {
    const QStringList log = model.Log();
    model.ClearLog();
    return log;
}

void FollowErrorLine(ConsoleSession& s, QObject* context,
                     const std::function<void(const ErrorReport&)>& f) {
    QObject::connect(&s.Link(), &ControllerLink::ErrorReported, context, f);
    QObject::connect(&s.Table(), &TableOperations::ErrorReported, context, f);
    QObject::connect(&s.Tests(), &OutputTesting::ErrorReported, context, f);
    QObject::connect(&s.History(), &ChangeHistory::ErrorReported, context, f);
}

void FollowProgress(ConsoleSession& s, QObject* context,
                    const std::function<void(const ProgressReport&)>& f) {
    QObject::connect(&s.Table(), &TableOperations::Progressed, context, f);
    QObject::connect(&s.Files(), &TallyFileService::Progressed, context, f);
    QObject::connect(&s.Changes(), &LiveChangeService::Progressed, context, f);
}

void FollowControlsEnabled(ConsoleSession& s, QObject* context,
                           const std::function<void(bool)>& f) {
    QObject::connect(&s.Table(), &TableOperations::ControlsEnabled, context, f);
    QObject::connect(&s.Files(), &TallyFileService::ControlsEnabled, context, f);
    QObject::connect(&s.Changes(), &LiveChangeService::ControlsEnabled, context, f);
}

void FollowFileName(ConsoleSession& s, QObject* context,
                    const std::function<void(const QString&)>& f) {
    QObject::connect(&s.Table(), &TableOperations::FileNameShown, context, f);
    QObject::connect(&s.Files(), &TallyFileService::FileNameShown, context, f);
}

bool SessionRig::Start(bool online) {
    auto held = std::make_shared<std::unique_ptr<SerialPort>>(MakePort());
    session = std::make_unique<ConsoleSession>(
        dialogs, [held](const InstallationConfig&) { return std::move(*held); }, Timings());
    ConsoleSession* s = session.get();
    UseLineClock(*s);
    FollowFileName(*s, s, [this](const QString& t) { fileName = t; });
    FollowProgress(*s, s, [this](const ProgressReport& p) { progress << ProgressCaption(p); });
    FollowErrorLine(*s, s, [this](const ErrorReport& e) { errorLine = ErrorCaption(e); });
    FollowControlsEnabled(*s, s, [this](bool on) { controlsEnabled = on; });
    if (!s->LoadConfiguration(IniPath())) return false;
    s->Connect();
    if (s->Link().IsOnline() && !online) s->Link().ToggleOnline();
    TakeLog();
    dialogs.Reset();
    progress.clear();
    return s->Link().IsOnline() == online;
}

QStringList SessionRig::Rows() const {
    QStringList rows;
    for (int o = 1; o <= session->Installation().Tables().NumOutputs; ++o)
        rows << Row(o);
    return rows;
}

}  // namespace vendra
