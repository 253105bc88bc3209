#include "config/tally_out_config.h"

#include <QUrl>
#include <optional>

#include "platform/ini_file.h"

namespace vendra {

namespace {

constexpr int kMaxIndex = 65534;  // 65535 addresses every display
constexpr int kMaxRefresh = 60;

QString Section() {
    return QString::fromUtf16(kTallyOutSection);
}

// "Kavro.ini: [Tally Out] "Destination 2" (value) left out: why."
QString Problem(const QString& key, const QString& value, const QString& why) {
    return QStringLiteral("Kavro.ini: [%1] \"%2\" (\"%3\") was left out: %4.")
        .arg(Section(), key, value, why);
}

std::optional<int> Number(const QString& text, int lowest, int highest) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < lowest || n > highest) return std::nullopt;
    return n;
}

// The value's comma-separated parts, trimmed, empty ones dropped.
QStringList Parts(const QString& value) {
    QStringList parts;
    for (const QString& p : value.split(u','))
        if (!p.trimmed().isEmpty()) parts.append(p.simplified());
    return parts;
}

// A part's first word, lower case, and the rest.
std::pair<QString, QString> WordAndRest(const QString& part) {
    const qsizetype blank = part.indexOf(u' ');
    if (blank < 0) return {part.toLower(), QString()};
    return {part.left(blank).toLower(), part.mid(blank + 1)};
}

std::optional<TallyDestination> ParseDestination(const QString& value, QString& why) {
    const QStringList parts = Parts(value);
    TallyDestination d;
    d.Text = parts.value(0);
    const QUrl url(d.Text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme != u"udp" && scheme != u"tcp") {
        why = QStringLiteral("the address must be udp://HOST:PORT or tcp://HOST:PORT");
        return std::nullopt;
    }
    d.Via = scheme == u"udp" ? TallyDestination::Transport::Udp : TallyDestination::Transport::Tcp;
    d.Host = url.host();
    if (d.Host.isEmpty() || url.port() < 1 || !url.path().isEmpty()) {
        why = QStringLiteral("the address needs a host and a port from 1 to 65535, nothing more");
        return std::nullopt;
    }
    d.Port = quint16(url.port());
    for (const QString& part : parts.mid(1)) {
        const auto [word, rest] = WordAndRest(part);
        if (word == u"v5.0" || word == u"v5") {
            d.Version = TallyDestination::Protocol::V5;
        } else if (word == u"v3.1" || word == u"v3") {
            d.Version = TallyDestination::Protocol::V31;
        } else if (word == u"screen") {
            const auto screen = Number(rest, 0, kMaxIndex);
            if (!screen) {
                why = QStringLiteral("the screen must be a number from 0 to %1").arg(kMaxIndex);
                return std::nullopt;
            }
            d.Screen = *screen;
        } else if (word == u"packed" && rest.isEmpty()) {
            d.Packed = true;
        } else {
            why = QStringLiteral("\"%1\" is not one of v5.0, v3.1, screen N, packed").arg(part);
            return std::nullopt;
        }
    }
    if (d.Version == TallyDestination::Protocol::V31 && (d.Screen != 0 || d.Packed)) {
        why = QStringLiteral("screen and packed are version 5.0 options");
        return std::nullopt;
    }
    return d;
}

std::optional<TallyDisplay> ParseDisplay(const QString& value, QString& why) {
    TallyDisplay d;
    for (const QString& part : Parts(value)) {
        const auto [word, rest] = WordAndRest(part);
        const QString all = part.toLower();
        if (word == u"index") {
            const auto index = Number(rest, 0, kMaxIndex);
            if (!index) {
                why = QStringLiteral("the index must be a number from 0 to %1").arg(kMaxIndex);
                return std::nullopt;
            }
            d.Index = *index;
        } else if (all == u"red") {
            d.Colour = TallyColour::Red;
        } else if (all == u"green") {
            d.Colour = TallyColour::Green;
        } else if (all == u"amber") {
            d.Colour = TallyColour::Amber;
        } else if (word == u"tally") {
            const auto bit = Number(rest, 1, 4);
            if (!bit) {
                why = QStringLiteral("a version 3.1 tally is a number from 1 to 4");
                return std::nullopt;
            }
            d.V31Tallies |= 1 << (*bit - 1);
        } else if (all == u"say unknown") {
            d.SayUnknown = 1;
        } else if (all == u"quiet unknown") {
            d.SayUnknown = 0;
        } else {
            why = QStringLiteral(
                      "\"%1\" is not one of index N, red, green, amber, tally N, say unknown, "
                      "quiet unknown")
                      .arg(part);
            return std::nullopt;
        }
    }
    return d;
}

std::optional<bool> YesNo(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == u"yes" || t == u"1" || t == u"true" || t == u"on") return true;
    if (t == u"no" || t == u"0" || t == u"false" || t == u"off") return false;
    return std::nullopt;
}

}  // namespace

TallyDisplay TallyOutConfig::DisplayOf(int output) const {
    const auto it = Displays.find(output);
    TallyDisplay d = it == Displays.end() ? TallyDisplay{} : it->second;
    if (d.Index < 0) d.Index = output;
    if (d.SayUnknown < 0) d.SayUnknown = SayUnknown ? 1 : 0;
    return d;
}

int TallyOutConfig::V31TalliesOf(const TallyDisplay& d) {
    if (d.V31Tallies != 0) return d.V31Tallies;
    switch (d.Colour) {
        case TallyColour::Red:
            return 0b01;
        case TallyColour::Green:
            return 0b10;
        case TallyColour::Amber:
            return 0b11;
    }
    return 0b01;
}

TallyOutConfig ReadTallyOut(const IniFile& ini, int outputs, QStringList& problems) {
    TallyOutConfig out;
    const QString section = Section();
    if (!ini.HasSection(section)) return out;
    QString why;
    for (int n = 1;; ++n) {
        const QString key = QStringLiteral("Destination %1").arg(n);
        const QString value = ini.Value(section, key);
        if (value.isEmpty()) break;
        if (const auto d = ParseDestination(value, why))
            out.Destinations.append(*d);
        else
            problems.append(Problem(key, value, why));
    }
    for (int o = 1; o <= outputs; ++o) {
        const QString key = QStringLiteral("Output %1").arg(o);
        const QString value = ini.Value(section, key);
        if (value.isEmpty()) continue;
        if (const auto d = ParseDisplay(value, why))
            out.Displays[o] = *d;
        else
            problems.append(Problem(key, value, why));
    }
    // Two outputs on one display: a receiver shows whichever came last.
    std::map<int, int> onIndex;
    for (int o = 1; o <= outputs; ++o) {
        const auto [at, first] = onIndex.emplace(out.DisplayOf(o).Index, o);
        if (!first)
            problems.append(QStringLiteral("Kavro.ini: [%1] outputs %2 and %3 share display "
                                           "index %4: receivers show whichever changed last.")
                                .arg(section)
                                .arg(at->second)
                                .arg(o)
                                .arg(at->first));
    }
    const QString refresh = ini.Value(section, u"Refresh");
    if (!refresh.isEmpty()) {
        if (const auto s = Number(refresh, 1, kMaxRefresh))
            out.RefreshSeconds = *s;
        else
            problems.append(Problem(QStringLiteral("Refresh"), refresh,
                                    QStringLiteral("it is a number of seconds from 1 to %1; %2 "
                                                   "is used")
                                        .arg(kMaxRefresh)
                                        .arg(out.RefreshSeconds)));
    }
    const QString say = ini.Value(section, u"SayUnknown");
    if (!say.isEmpty()) {
        if (const auto b = YesNo(say))
            out.SayUnknown = *b;
        else
            problems.append(
                Problem(QStringLiteral("SayUnknown"), say, QStringLiteral("it is yes or no")));
    }
    return out;
}

}  // namespace vendra
