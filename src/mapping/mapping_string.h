#pragma once
// The mapping string: eight numbers in square brackets, the one text form in which a mapping
// travels between the controller, the program's tables and the tally matrix files.
// [1][3][2][17][1][0][0][0] maps output unit 1 channel 3 to input unit 2 channel 17.
#include <QString>
#include <QStringView>

namespace vendra {

enum BoolMode { kSingle = 0, kAnd = 1, kOr = 2 };
// How a second input joins the first.
enum class BoolOp { And, Or };
constexpr int ModeOf(BoolOp op) {
    return op == BoolOp::And ? kAnd : kOr;
}

struct MappingRecord {
    int OutUnit = 0;
    int OutChannel = 0;
    int InUnit = 0;
    int InChannel = 0;
    int MapEnable = 0;
    int BooleanInUnit = 0;
    int BooleanInChannel = 0;
    int BooleanMode = 0;

    friend bool operator==(const MappingRecord&, const MappingRecord&) = default;
};

// Every "[" starts a field whose value is the number read from the (at most) three characters
// after it; fields the text lacks are 0, fields past the eighth are ignored.
MappingRecord ParseGetMap(QStringView response);

// A field carries three characters, so a number written into one lies in -99 .. 999.
inline constexpr int kFieldLowest = -99;
inline constexpr int kFieldHighest = 999;
// The first field whose number runs past its three characters, e.g. "[1000]" (ParseGetMap
// would read 100 from it), as written; empty when every field reads whole.
QString OverlongField(QStringView text);

// How many "[" fields a text holds (a text with none is not a mapping string).
int CountFields(QStringView text);

// The same entry with its enable flag set ("[0]" in the fifth field becomes "[1]"); an entry
// without a fifth field, or already enabled, unchanged.
QString EnabledMapString(const QString& text);

// [u][c][iu][ic][1][0][0][0]
QString SingleMapString(int ounit, int ochannel, int iunit, int ichannel);
// [u][c][iu][ic][1][bu][bc][mode]
QString BoolMapString(int ounit, int ochannel, int iunit, int ichannel, int bunit, int bchannel,
                      int mode);

}  // namespace vendra
