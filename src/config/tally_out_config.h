#pragma once
// Where the tally goes besides the desk: the "[Tally Out]" section of Kavro.ini, which older
// files simply lack. Each destination is a UMD receiver (a multiviewer, a tally system) reached
// over UDP or TCP; each configured output is one display there, lit in its own colour.
//
//   [Tally Out]
//   Destination 1=udp://192.168.1.50:8900, v5.0, screen 1
//   Destination 2=tcp://192.168.1.51:9000, v5.0, packed
//   Destination 3=udp://192.168.1.52:4000, v3.1
//   Refresh=5
//   Output 3=index 12, green, say unknown
//   Output 4=amber, tally 3
#include <QList>
#include <QString>
#include <QStringList>
#include <map>

namespace vendra {

class IniFile;

inline constexpr char16_t kTallyOutSection[] = u"Tally Out";

enum class TallyColour { Red, Green, Amber };

struct TallyDestination {
    enum class Transport { Udp, Tcp };
    enum class Protocol { V5, V31 };
    Transport Via = Transport::Udp;
    QString Host;
    quint16 Port = 0;
    Protocol Version = Protocol::V5;
    int Screen = 0;       // version 5.0 only
    bool Packed = false;  // several displays a packet (receivers that read them all)
    QString Text;         // as the file writes it, for messages

    bool operator==(const TallyDestination&) const = default;
};

// One output's display; every field has a default.
struct TallyDisplay {
    int Index = -1;                         // -1: the output's number
    TallyColour Colour = TallyColour::Red;  //
    int V31Tallies = 0;                     // bits 0-3 = tally 1-4; 0: from the colour
    int SayUnknown = -1;                    // -1: the section's default

    bool operator==(const TallyDisplay&) const = default;
};

struct TallyOutConfig {
    static constexpr int kDefaultRefreshSeconds = 5;

    QList<TallyDestination> Destinations;
    std::map<int, TallyDisplay> Displays;  // by output number; the others take the defaults
    int RefreshSeconds = kDefaultRefreshSeconds;
    // Outputs whose lamp cannot be known (not polled, unit silent) say so in their text.
    bool SayUnknown = false;

    bool Configured() const { return !Destinations.isEmpty(); }
    // Output o's display, the defaults filled in.
    TallyDisplay DisplayOf(int output) const;
    // The version 3.1 tally bits of a display: those the file gives, else from its colour
    // (red tally 1, green tally 2, amber both).
    static int V31TalliesOf(const TallyDisplay& d);
};

// Reads the section for outputs 1 .. outputs. An entry the console cannot use is left out, with
// a message in `problems` naming the key, its value and why.
TallyOutConfig ReadTallyOut(const IniFile& ini, int outputs, QStringList& problems);

}  // namespace vendra
