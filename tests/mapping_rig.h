#pragma once
// A controller model on an in-process port, a link over it, the tables and an operator who
// answers every box with OK: what the mapping tests build on.
#include <QStringList>
#include <QtTest>

#include "link/command_exchange.h"
#include "mapping/mapping_tables.h"
#include "sim/controller_model.h"
#include "support/model_port.h"
#include "support/scripted_dialogs.h"

namespace vendra {

struct MappingRig {
    ControllerModel model;
    ModelPort port{model};
    ScriptedDialogs dialogs;
    CommandExchange link{port, dialogs};
    MappingTables tables;
    bool online = true;

    MappingRig() {
        port.Open();
        link.SetDeadlineMs(kTestDeadlineMs);
        link.SetClock(port.Clock());
    }
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
