#include "support/main_rig.h"

#include <QTest>

#include "editor/tally_list.h"

namespace vendra {

MainRig::MainRig() = default;

void MainRig::Build(bool realPort, Dialogs* boxes) {
    std::unique_ptr<SerialPort> line = MakePort(realPort);
    window = std::make_unique<frmKavroMain>(boxes ? *boxes : dialogs, IniPath(), std::move(line),
                                            Timings(realPort));
    UseLineClock(window->Session(), realPort);
    window->endProgram = [this] { ended = true; };
}

bool MainRig::Start(bool realPort) {
    Build(realPort);
    return window->Load();
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

MainRig& SharedWindow::Get(const std::function<std::unique_ptr<MainRig>()>& make) {
    if (!rig_ || function_ != QTest::currentTestFunction()) {
        rig_.reset();
        rig_ = make();
        function_ = QTest::currentTestFunction();
    }
    return *rig_;
}

void SharedWindow::Begin() {
    if (rig_ && function_ != QTest::currentTestFunction()) rig_.reset();
}

}  // namespace vendra
