#include "config/kavro_config.h"

#include <QDir>
#include <optional>
#include <vector>

#include "mapping/mapping_string.h"
#include "mapping/output_rows.h"
#include "platform/ini_file.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

struct Entry {
    QString Name;
    int Unit = 0;
    int Channel = 0;
};

struct EntryList {
    std::vector<Entry> Used;  // entries 1 .. the tables' room, in order
    int Configured = 0;       // consecutive keys present, also those beyond the tables' room
};

QString IniName() {
    return QString::fromUtf16(kKavroIniName);
}

// name "," unit "," channel; without two commas the entry is blank but still takes its place.
// Empty when the unit or channel does not fit a field of a mapping string: a wider number
// would be cut there and name another output or input.
std::optional<Entry> SplitEntry(const QString& value) {
    const qsizetype first = value.indexOf(u',');
    const qsizetype second = first < 0 ? -1 : value.indexOf(u',', first + 1);
    if (second < 0) return Entry{};
    const QStringView v(value);
    const auto unit =
        ReadWholeNumber(v.sliced(first + 1, second - first - 1), kFieldLowest, kFieldHighest);
    const auto channel = ReadWholeNumber(v.sliced(second + 1), kFieldLowest, kFieldHighest);
    if (!unit || !channel) return std::nullopt;
    return Entry{value.left(first), *unit, *channel};
}

// Reads word + " 1", word + " 2", ... up to the first missing or empty key. Keys past room are
// counted but not split: they are left out.
std::optional<EntryList> ReadEntries(const IniFile& ini, const QString& word, int room,
                                     QString& error) {
    EntryList list;
    for (int n = 1;; ++n) {
        const QString key = word + QLatin1Char(' ') + Plain(n);
        const QString value = ini.Value(kKavroSection, key);
        if (value.isEmpty()) break;
        list.Configured = n;
        if (n > room) continue;
        auto entry = SplitEntry(value);
        if (!entry) {
            error = QStringLiteral(
                        "%1: the value of %2 (%3) has a unit or channel outside "
                        "%4 .. %5.")
                        .arg(IniName(), Quoted(key), Quoted(value), Plain(kFieldLowest),
                             Plain(kFieldHighest));
            return std::nullopt;
        }
        list.Used.push_back(std::move(*entry));
    }
    return list;
}

QString LeftOutWarning(const QString& word, const QString& plural, int configured, int room) {
    return QStringLiteral(
               "%1 configures %2 %3, but the console has room for %4 only: %5 to %6 "
               "were ignored.")
        .arg(IniName(), Plain(configured), plural, Plain(room),
             Quoted(word + QLatin1Char(' ') + Plain(room + 1)),
             Quoted(word + QLatin1Char(' ') + Plain(configured)));
}

IniReadResult Missing(const QString& why) {
    return {IniOutcome::Missing, why, {}};
}

IniReadResult Invalid(const QString& message) {
    return {IniOutcome::Invalid, message, {}};
}

}  // namespace

QString KavroIniPath(const QString& directory) {
    return QDir(directory).filePath(IniName());
}

IniReadResult IniRead(const QString& directory, MappingTables& tables, InstallationConfig& config,
                      EnabledUnits& units) {
    const IniFile ini(KavroIniPath(directory));
    return IniRead(ini, tables, config, units);
}

IniReadResult IniRead(const IniFile& ini, MappingTables& tables, InstallationConfig& config,
                      EnabledUnits& units) {
    const QString where = ini.Path().isEmpty() ? IniName() : ini.Path();
    if (ini.FileState() == IniFile::State::Missing)
        return Missing(QStringLiteral("%1 does not exist.").arg(where));
    if (!ini.IsRead()) {
        IniReadResult unreadable =
            Missing(QStringLiteral("%1 cannot be read: %2.").arg(where, ini.ErrorText()));
        unreadable.Unreadable = true;
        return unreadable;
    }
    const QString section = QString::fromUtf16(kKavroSection);
    if (!ini.HasSection(section))
        return Missing(QStringLiteral("%1 has no [%2] section.").arg(where, section));

    InstallationConfig read;
    read.SystemName = ini.Value(section, u"System");
    if (read.SystemName.isEmpty())
        return Missing(QStringLiteral("%1 gives no \"System\" name.").arg(where));

    const QString port = ini.Value(section, u"CommPort");
    const auto portNumber = ReadWholeNumber(port, 0, 255);
    if (!portNumber)
        return Invalid(QStringLiteral("%1: the value of \"CommPort\" (%2) is outside 0 .. 255.")
                           .arg(IniName(), Quoted(port)));
    read.VendraCommport = *portNumber == 0 ? 1 : *portNumber;
    read.EnabledUnitsText = ini.Value(section, u"EnabledUnits");
    read.CommDevice = ini.Value(section, u"CommDevice");
    read.Journal = ini.Value(section, u"Journal");

    const EnabledUnits parsedUnits = ParseEnabledUnits(read.EnabledUnitsText);
    if (parsedUnits.OutOfRange)
        return Invalid(QStringLiteral("%1: the value of \"EnabledUnits\" (%2) has a unit outside "
                                      "-32768 .. 32767.")
                           .arg(IniName(), Quoted(read.EnabledUnitsText)));

    QString error;
    const auto outputs = ReadEntries(ini, QStringLiteral("Output"), kMaxOutputs, error);
    if (!outputs) return Invalid(error);
    const auto inputs = ReadEntries(ini, QStringLiteral("Input"), kMaxInputs, error);
    if (!inputs) return Invalid(error);

    IniReadResult result{IniOutcome::Ok, {}, {}};
    if (parsedUnits.ListedEntries > EnabledUnits::kMaxUnits)
        result.Warnings << QStringLiteral(
                               "%1: \"EnabledUnits\" lists %2 units, but at most %3 "
                               "can be enabled: the units after the %3th were ignored.")
                               .arg(IniName(), Plain(parsedUnits.ListedEntries),
                                    Plain(EnabledUnits::kMaxUnits));
    if (outputs->Configured > kMaxOutputs)
        result.Warnings << LeftOutWarning(QStringLiteral("Output"), QStringLiteral("outputs"),
                                          outputs->Configured, kMaxOutputs);
    if (inputs->Configured > kMaxInputs)
        result.Warnings << LeftOutWarning(QStringLiteral("Input"), QStringLiteral("inputs"),
                                          inputs->Configured, kMaxInputs);

    // An unusable tally-out entry is left out with a message; the console still starts.
    read.TallyOut = ReadTallyOut(ini, int(outputs->Used.size()), result.Warnings);

    // Everything fits: only now are the program's tables touched.
    config = read;
    units = parsedUnits;
    tables.NumOutputs = static_cast<int>(outputs->Used.size());
    for (int n = 1; n <= tables.NumOutputs; ++n) {
        const Entry& e = outputs->Used[n - 1];
        tables.OutName[n] = e.Name;
        tables.OutUnit[n] = e.Unit;
        tables.OutChannel[n] = e.Channel;
        tables.OutMapInput[n].clear();
    }
    tables.InName[0] = QStringLiteral("Unassigned");
    tables.InUnit[0] = 0;
    tables.InChannel[0] = 0;
    tables.NumInputs = static_cast<int>(inputs->Used.size());
    for (int n = 1; n <= tables.NumInputs; ++n) {
        const Entry& e = inputs->Used[n - 1];
        tables.InName[n] = e.Name;
        tables.InUnit[n] = e.Unit;
        tables.InChannel[n] = e.Channel;
    }
    return result;
}

QStringList OutputListRows(const MappingTables& tables) {
    QStringList rows;
    rows.reserve(tables.NumOutputs);
    for (int n = 1; n <= tables.NumOutputs; ++n)
        rows << ListName(tables.OutName[n]) + QLatin1Char('\t') + tables.OutMapInput[n];
    return rows;
}

QStringList InputListRows(const MappingTables& tables) {
    QStringList rows;
    rows.reserve(tables.NumInputs + 1);
    for (int j = 0; j <= tables.NumInputs; ++j)
        rows << Plain(j) + QLatin1Char('\t') + ListName(tables.InName[j]);
    return rows;
}

}  // namespace vendra
