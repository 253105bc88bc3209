#include "mapping/mapping_tables.h"

namespace vendra {

MappingTables::MappingTables() {
    InName[0] = QStringLiteral("Unassigned");
}

int MappingTables::FindOutputMapping() {
    int Z = 1;
    for (; Z <= NumOutputs; ++Z) {
        if (OutChannel[Z] == Current.OutChannel && OutUnit[Z] == Current.OutUnit) return Z;
    }
    return Z;
}

int MappingTables::FindInputSourceMapping() {
    return SearchInputList(Current.InUnit, Current.InChannel);
}

int MappingTables::SearchInputList(int unit, int channel) const {
    int Z = 0;
    for (; Z <= NumInputs; ++Z) {
        if (InChannel[Z] == channel && InUnit[Z] == unit) return Z;
    }
    return Z;
}

void MappingTables::ClearLocalMaps() {
    for (int i = 0; i <= NumOutputs; ++i) {
        OutMapInput[i].clear();
        OutMapString[i].clear();
    }
}

}  // namespace vendra
