#include "support/main_rig.h"

#include <QFile>

#include "editor/tally_list.h"

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

MainRig::MainRig() = default;

void MainRig::WriteIni(const QString& text) {
    QFile f(dir.filePath(QStringLiteral("Kavro.ini")));
    if (f.open(QIODevice::WriteOnly)) f.write(text.toLatin1());
}

void MainRig::Build(bool realPort, Dialogs* boxes) {
    std::unique_ptr<SerialPort> p;
    if (!realPort) {
        auto modelPort = std::make_unique<ModelPort>(model);
        port = modelPort.get();
        port->refuseOpen = refusePort;
        p = std::move(modelPort);
    }
    SessionTimings t = timings;
    if (t.deadlineMs == 0) t.deadlineMs = realPort ? CommandExchange::kDeadlineMs : kTestDeadlineMs;
    window = std::make_unique<frmKavroMain>(boxes ? *boxes : dialogs, KavroIniPath(dir.path()),
                                            std::move(p), t);
    window->endProgram = [this] { ended = true; };
}

bool MainRig::Start(bool realPort) {
    Build(realPort);
    return window->Load();
}

QStringList MainRig::TakeLog() {
    const QStringList log = model.Log();
    model.ClearLog();
    return log;
}

QString MainRig::Row(int row) const {
    return window->Face().List1->RowText(row);
}

QStringList MainRig::Rows() const {
    QStringList rows;
    for (int i = 0; i < window->Face().List1->RowCount(); ++i)
        rows << Row(i);
    return rows;
}

}  // namespace vendra
