#pragma once
// One table of lamp cases that the lamp logic, `vendractl lamps` and the overview window are
// checked against: an installation of one output per case, and its tally file.
#include <QByteArray>
#include <QString>
#include <iterator>

namespace vendra {

// Output n is unit 1 channel n, mapped as its case says. Unit 2 has channels 1, 3 and 32 on;
// unit 3 does not answer "BITS"; unit 7 carries no configured input.
struct Case {
    const char* tag;
    const char* inputs;  // the mapping string after [1][n]; empty: unmapped
    bool underTest;
    const char* lamp;
    const char* reason;
};
inline const Case kCases[] = {
    {"single on", "[2][1][1][0][0][0]", false, "lit", "Cam 1 on"},
    {"single off", "[2][2][1][0][0][0]", false, "dark", "Cam 2 off"},
    {"AND, one off", "[2][1][1][2][2][1]", false, "dark", "Cam 1 on, Cam 2 off"},
    {"AND, both on", "[2][1][1][2][3][1]", false, "lit", "Cam 1 on, Cam 3 on"},
    {"OR, one on", "[2][2][1][2][1][2]", false, "lit", "Cam 2 off, Cam 1 on"},
    {"OR, both off", "[2][2][1][2][2][2]", false, "dark", "Cam 2 off, Cam 2 off"},
    {"disabled", "[2][1][0][0][0][0]", false, "dark", "mapping disabled"},
    {"unmapped", "", false, "dark", "no input"},
    {"input on an unpolled unit", "[7][1][1][0][0][0]", false, "unknown",
     "(7/1, not in Kavro.ini): input not polled"},
    {"channel past the 32 bits", "[2][40][1][0][0][0]", false, "unknown",
     "(2/40, not in Kavro.ini): input not polled"},
    {"unit silent", "[3][1][1][0][0][0]", false, "unknown", "Mic unknown: unit 3 does not answer"},
    {"OR settled by the other input", "[3][1][1][2][1][2]", false, "lit",
     "Mic unknown: unit 3 does not answer, Cam 1 on"},
    {"AND settled by the other input", "[3][1][1][2][2][1]", false, "dark",
     "Mic unknown: unit 3 does not answer, Cam 2 off"},
    {"AND left open by the silent unit", "[3][1][1][2][1][1]", false, "unknown",
     "Mic unknown: unit 3 does not answer, Cam 1 on"},
    {"channel 32, the last bit", "[2][32][1][0][0][0]", false, "lit",
     "(2/32, not in Kavro.ini) on"},
    {"under test", "[2][2][1][0][0][0]", true, "lit", "under test"},
};
inline constexpr int kOutputs = int(std::size(kCases));
inline constexpr quint32 kUnit2Bits = 0x80000005;
inline const char kUnit2Line[] = "2 1000 0000 0000 0000 0000 0000 0000 0101\n";

inline QString MapOf(int output) {
    const Case& c = kCases[output - 1];
    return *c.inputs ? QStringLiteral("[1][%1]%2").arg(output).arg(QLatin1String(c.inputs))
                     : QString();
}

inline QString Ini(const QString& device) {
    QString ini = QStringLiteral("[Vendra]\r\nSystem=Overview\r\nCommPort=1\r\nEnabledUnits=2\r\n");
    for (int o = 1; o <= kOutputs; ++o)
        ini += QStringLiteral("Output %1=Out %1,1,%1\r\n").arg(o);
    ini += QStringLiteral(
        "Input 1=Cam 1,2,1\r\nInput 2=Cam 2,2,2\r\nInput 3=Cam 3,2,3\r\nInput 4=Mic,3,1\r\n");
    if (!device.isEmpty()) ini += QStringLiteral("CommDevice=%1\r\n").arg(device);
    return ini + QStringLiteral("[Tally Out]\r\nOutput 4=green\r\n");
}

inline QByteArray Preload() {
    QByteArray vdk;
    for (int o = 1; o <= kOutputs; ++o)
        if (!MapOf(o).isEmpty()) vdk += MapOf(o).toLatin1() + "\r\n";
    return vdk;
}

}  // namespace vendra
