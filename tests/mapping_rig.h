#pragma once
// A controller model on an in-process port, a link over it, the tables and an operator who
// answers every box with OK: what the mapping tests build on.
#include <QStringList>
#include <QtTest>
#include <optional>

#include "link/command_exchange.h"
#include "mapping/mapping_tables.h"
#include "platform/dialogs.h"
#include "sim/controller_model.h"
#include "support/model_port.h"

namespace vendra {

struct RecordingDialogs : Dialogs {
    QStringList texts, titles;
    Answer Message(const QString& text, const QString& title, Buttons, Icon, Answer) override {
        texts << text;
        titles << title;
        return Answer::Ok;
    }
    QString OpenFileName(const QString&, const QString&) override { return {}; }
    QString SaveFileName(const QString&, const QString&) override { return {}; }
    void Beep() override {}
};

// Makes the model commit a fault on the console's command lines faultFrom .. faultTo (1 = first).
class FaultPort : public ModelPort {
public:
    FaultPort(ControllerModel& model) : ModelPort(model), model_(model) {}
    bool Write(const QByteArray& bytes) override {
        ++writes;
        model_.SetFault(writes >= faultFrom && writes <= faultTo ? fault : SimFault::None);
        if (!fixedReply) return ModelPort::Write(bytes);
        Inject(bytes + *fixedReply + "\r\n.");
        return true;
    }
    void FaultOn(SimFault f, int from, int to = 1 << 30) {
        fault = f, faultFrom = from, faultTo = to;
    }
    int writes = 0, faultFrom = 1 << 30, faultTo = 1 << 30;
    SimFault fault = SimFault::None;
    // When set, the reply line to every command instead of the model's.
    std::optional<QByteArray> fixedReply;

private:
    ControllerModel& model_;
};

struct MappingRig {
    ControllerModel model;
    FaultPort port{model};
    RecordingDialogs dialogs;
    CommandExchange link{port, dialogs};
    MappingTables tables;
    bool online = true;

    MappingRig() { port.Open(); }
    std::function<bool()> Online() {
        return [this] { return online; };
    }
    // Output i is unit 1, channel i + 2 up to output 499 (output 1 is 1/3), then unit 2; input j
    // is unit 2, channel j + 10. Channels stay within the three digits a mapping string keeps.
    void Configure(int outputs, int inputs) {
        tables.NumOutputs = outputs;
        for (int i = 1; i <= outputs; ++i)
            tables.OutUnit[i] = 1 + i / 500, tables.OutChannel[i] = i % 500 + 2;
        tables.NumInputs = inputs;
        for (int j = 1; j <= inputs; ++j)
            tables.InUnit[j] = 2, tables.InChannel[j] = j + 10;
    }
};

}  // namespace vendra
