#include "config/tally_file.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

#include "mapping/mapping_string.h"
#include "mapping/mapping_tables.h"
#include "platform/message_text.h"
#include "platform/numbers.h"

namespace vendra {

namespace {

// A FIFO or a device node must not be replaced by a regular file of the same name.
bool IsRegularOrAbsent(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return true;
    return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Adds the items of one line.
void ParseLine(QStringView line, int lineNumber, TallyReadResult& result) {
    qsizetype pos = 0;
    const qsizetype n = line.size();
    bool moreExpected = true;  // at the start of a line, and after every comma
    while (moreExpected) {
        moreExpected = false;
        while (pos < n && IsBlank(line[pos]))
            ++pos;
        QStringView text;
        if (pos < n && line[pos] == u'"') {
            const qsizetype close = line.indexOf(u'"', pos + 1);
            const qsizetype end = close < 0 ? n : close;
            text = line.sliced(pos + 1, end - pos - 1);
            // Whatever stands between the closing quote and the next comma is not part of it.
            const qsizetype comma = close < 0 ? -1 : line.indexOf(u',', close + 1);
            pos = comma < 0 ? n : comma + 1;
            moreExpected = comma >= 0;
        } else {
            const qsizetype comma = line.indexOf(u',', pos);
            qsizetype end = comma < 0 ? n : comma;
            while (end > pos && IsBlank(line[end - 1]))
                --end;
            text = line.sliced(pos, end - pos);
            pos = comma < 0 ? n : comma + 1;
            moreExpected = comma >= 0;
        }
        if (text.isEmpty())
            ++result.SkippedBlank;
        else
            result.Items.append({lineNumber, text.toString()});
    }
}

}  // namespace

TallyReadResult ParseTallyItems(const QByteArray& bytes) {
    TallyReadResult result;
    result.Ok = true;
    const QString text = QString::fromLatin1(bytes);
    const qsizetype n = text.size();
    qsizetype pos = 0;
    int lineNumber = 0;
    // A line end after the last line does not open another, empty line.
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        ParseLine(QStringView(text).sliced(pos, end - pos), ++lineNumber, result);
        pos = end;
        if (pos < n) pos += (text[pos] == u'\r' && pos + 1 < n && text[pos + 1] == u'\n') ? 2 : 1;
    }
    return result;
}

TallyReadResult ReadTallyItems(const QString& path) {
    TallyReadResult failed;
    auto fail = [&](const QString& reason) {
        failed.Error =
            QStringLiteral("The tally file %1 cannot be read: %2.").arg(Quoted(path), reason);
        return failed;
    };
    if (QFileInfo(path).isDir()) return fail(QStringLiteral("it is a folder"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    const QByteArray bytes = file.read(kMaxTallyFileBytes + 1);
    if (file.error() != QFileDevice::NoError) return fail(file.errorString());
    if (bytes.size() > kMaxTallyFileBytes)
        return fail(QStringLiteral("it is larger than %1 MB, far too large for a tally file")
                        .arg(kMaxTallyFileBytes / (1024 * 1024)));
    return ParseTallyItems(bytes);
}

OutputKnown ConfiguredOutputs(const MappingTables& tables) {
    return [&tables](int unit, int channel) {
        for (int o = 1; o <= tables.NumOutputs; ++o)
            if (tables.OutUnit[o] == unit && tables.OutChannel[o] == channel) return true;
        return false;
    };
}

bool IsMappingString(QStringView text, const OutputKnown& outputKnown) {
    if (CountFields(text) == 0) return false;
    const MappingRecord m = ParseGetMap(text);
    return m.OutUnit != 0 || (outputKnown && outputKnown(m.OutUnit, m.OutChannel));
}

TallyCheck CheckTallyItems(const QList<TallyItem>& items, const QString& path, int maxItems,
                           const OutputKnown& outputKnown) {
    for (const TallyItem& item : items) {
        if (!IsMappingString(item.Text, outputKnown))
            return {false, QStringLiteral("The tally file %1 was not loaded: line %2 (%3) is not a "
                                          "mapping string. Nothing was changed.")
                               .arg(Quoted(path), Plain(item.Line), Quoted(Shown(item.Text)))};
        // Only three characters of a field are read: [1000] would map output 100.
        if (const QString wide = OverlongField(item.Text); !wide.isEmpty())
            return {false, QStringLiteral("The tally file %1 was not loaded: line %2 holds %3, "
                                          "wider than the three characters of a field. Nothing "
                                          "was changed.")
                               .arg(Quoted(path), Plain(item.Line), Quoted(wide))};
    }
    if (items.size() > maxItems)
        return {false, QStringLiteral("The tally file %1 was not loaded: it holds %2 mapping "
                                      "strings, more than the %3 the console can hold. Nothing "
                                      "was changed.")
                           .arg(Quoted(path), Plain(items.size()), Plain(maxItems))};
    return {};
}

namespace {

// Waits this long between two looks at the stop request while a FIFO has no reader or a reader
// does not take more.
constexpr int kStopLookMs = 100;

// Writes `bytes` into a FIFO or a device without ever blocking for good: the open and each
// write wait in short steps, and `stopped` ends the wait. Empty on success, else the reason.
QString WriteThrough(const QString& target, const QByteArray& bytes,
                     const std::function<bool()>& stopped, bool* interrupted) {
    const QByteArray name = QFile::encodeName(target);
    int fd = -1;
    for (;;) {
        fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) break;
        // A FIFO that nobody has opened for reading yet.
        if (errno != ENXIO && errno != EINTR) return QString::fromLocal8Bit(::strerror(errno));
        if (stopped && stopped()) break;
        ::usleep(kStopLookMs * 1000);
    }
    qsizetype done = 0;
    QString error;
    while (fd >= 0 && done < bytes.size()) {
        if (stopped && stopped()) break;
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = QString::fromLocal8Bit(::strerror(errno));
            break;
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, kStopLookMs);
        }
    }
    if (fd >= 0) ::close(fd);
    if (error.isEmpty() && done < bytes.size()) {
        *interrupted = true;
        error = QStringLiteral("interrupted while waiting for a reader");
    }
    return error;
}

}  // namespace

TallyWriteResult WriteTallyFile(const QString& path, const QStringList& lines,
                                const std::function<bool()>& stopped) {
    auto fail = [&](const QString& reason) {
        return TallyWriteResult{
            false, QStringLiteral("The tally file %1 could not be written: %2. The file was not "
                                  "changed.")
                       .arg(Quoted(path), reason)};
    };
    QByteArray bytes;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        // A line break inside a mapping string would read back as two items, and characters
        // outside the single-byte set would not read back at all.
        for (QChar c : line) {
            if (c == u'\r' || c == u'\n' || c.unicode() > 0xFF)
                return fail(QStringLiteral("mapping %1 (%2) cannot be written as one line of "
                                           "single-byte text")
                                .arg(Plain(i + 1), Quoted(Shown(line))));
        }
        bytes += line.toLatin1();
        bytes += "\r\n";
    }
    // A link keeps being a link: what it points to is replaced.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : path;
    if (!IsRegularOrAbsent(target)) {
        bool interrupted = false;
        const QString error = WriteThrough(target, bytes, stopped, &interrupted);
        if (error.isEmpty()) return {};
        TallyWriteResult r = fail(error);
        r.Interrupted = interrupted;
        return r;
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    // A small file sits in Qt's buffer until the commit, whose own write error goes unseen:
    // flush first so a full disk is caught before the old file is replaced.
    const qint64 written = file.write(bytes);
    if (written != bytes.size() || !file.flush()) {
        // A write cut short by a full disk leaves no reason; the next attempt at the rest (or
        // at what is still buffered) reports it.
        if (file.error() == QFileDevice::NoError ||
            file.errorString() == QStringLiteral("Unknown error")) {
            if (written >= 0 && written < bytes.size()) file.write(bytes.mid(written));
            file.flush();
        }
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit()) return fail(file.errorString());
    return {};
}

QString TallyFileFilter() {
    return QStringLiteral("Vendra Tally(*.vdk)|*.vdk");
}

QString ParseFilename(QStringView TallyFile) {
#ifdef Q_OS_WIN
    const qsizetype p = std::max(TallyFile.lastIndexOf(u'\\'), TallyFile.lastIndexOf(u'/'));
#else
    const qsizetype p = TallyFile.lastIndexOf(u'/');
#endif
    // A separator at the very start names no folder: the name is not shown.
    if (p < 1) return {};
    return TallyFile.sliced(p + 1).left(50).toString();
}

}  // namespace vendra
