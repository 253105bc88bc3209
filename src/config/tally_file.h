#pragma once
// Tally matrix files (*.vdk): one mapping string per line, each line ended by CR LF, no header.
// These are the file pieces; loading and saving a table is built on them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <utility>

#include "mapping/mapping_string.h"

namespace vendra {

// One mapping string is held per RawMapList position 0 .. 999.
inline constexpr int kMaxTallyItems = 1000;
// A file of 1000 mapping strings is some 30 KB; anything near this size is not a tally file.
inline constexpr qint64 kMaxTallyFileBytes = 8 * 1024 * 1024;

// One mapping of a file, read once: every step of a load, a check or a compare takes the
// parsed record from here instead of parsing the text again.
struct TallyItem {
    TallyItem() = default;
    TallyItem(int line, QString text)
        : Line(line), Text(std::move(text)), Mapping(ParseGetMap(Text)) {}

    int Line = 0;  // 1-based line the item starts on
    QString Text;
    MappingRecord Mapping;  // Text, parsed

    friend bool operator==(const TallyItem&, const TallyItem&) = default;
};

struct TallyReadResult {
    bool Ok = false;
    QString Error;  // the path and the system's reason when the file cannot be read
    QList<TallyItem> Items;
    int SkippedBlank = 0;  // empty items (blank lines, ",,") left out
};

// Reads the items of a tally file. An item ends at a comma or at the end of a line; blanks
// before it are skipped; an item that begins with a double quote runs to the closing quote
// (commas included) or, without one, to the end of the line. Lines end in CR LF, LF or CR.
TallyReadResult ReadTallyItems(const QString& path);
// The same from the file's bytes (single-byte text).
TallyReadResult ParseTallyItems(const QByteArray& bytes);

// Tells whether the configuration has an output of this unit and channel.
using OutputKnown = std::function<bool(int unit, int channel)>;

struct MappingTables;
// The outputs Kavro.ini configures, spare outputs (unit 0) included.
OutputKnown ConfiguredOutputs(const MappingTables& tables);

// The one rule for a mapping line, for the load, the file check, compare and apply: "[" fields
// with an output unit other than 0, or of an output that outputKnown names (a configured spare
// output has unit 0).
bool IsMappingString(QStringView text, const OutputKnown& outputKnown = {});

struct TallyCheck {
    bool Ok = true;
    QString Message;  // why the file is refused; nothing has been changed then
};

// Checks every item before anything is cleared: each must be a mapping string ("[" fields with
// an output unit other than 0, or of an output that outputKnown names: a spare output has unit
// 0), and there may be at most maxItems of them. Refuses the whole file otherwise, naming the
// first bad line; a partly loaded table would lose mappings.
TallyCheck CheckTallyItems(const QList<TallyItem>& items, const QString& path,
                           int maxItems = kMaxTallyItems, const OutputKnown& outputKnown = {});

struct TallyWriteResult {
    bool Ok = true;
    QString Error;             // the path and the system's reason; the old file is then untouched
    bool Interrupted = false;  // `stopped` ended the wait for a reader
};

// Writes each line followed by CR LF. The old file is replaced only once every line has been
// written. A symbolic link stays a link: its target is replaced. A target that is not a
// regular file (a FIFO, a device) is written through, as cp would, never replaced. A FIFO that
// nobody reads yet, or a reader that stops reading, is waited for until `stopped` says so: the
// write then ends as interrupted and nothing more is written.
TallyWriteResult WriteTallyFile(const QString& path, const QStringList& lines,
                                const std::function<bool()>& stopped = {});

// The file dialogs' filter: "Vendra Tally(*.vdk)|*.vdk".
QString TallyFileFilter();

// The name shown for a file: what follows the path's last separator, at most 50 characters.
// Empty when the path has no separator, when its last one is its first character, or when the
// path ends with one.
QString ParseFilename(QStringView TallyFile);

}  // namespace vendra
