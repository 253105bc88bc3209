#include "changes/journal_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace vendra {

namespace {

constexpr qint64 kBlock = 64 * 1024;

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

// One file of the journal as it was when opened (its size then), and where reading stands.
struct JournalReader::File {
    QString name;
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    qint64 size = 0;
    QByteArray buf;
    // Forward: buf[head..] holds the bytes from pos on; lines counted so far.
    qint64 pos = 0;
    qsizetype head = 0;
    qint64 lines = 0;
    // Backward: buf holds the bytes from lo to the end of what is not yet read.
    qint64 lo = 0;
    ~File() {
        if (fd >= 0) ::close(fd);
    }
};

QString TornText(const QList<TornLine>& torn) {
    // File by file, in the order read, each file's lines in order.
    QStringList files;
    std::map<QString, QList<qint64>> lines;
    for (const TornLine& t : torn) {
        if (!lines.count(t.File)) files << t.File;
        lines[t.File] << t.Line;
    }
    QStringList parts;
    for (const QString& file : files) {
        QList<qint64>& numbers = lines[file];
        std::sort(numbers.begin(), numbers.end());
        QStringList text;
        for (qint64 n : numbers)
            text << QString::number(n);
        parts << QStringLiteral("%1 %2 of %3 %4 not a whole entry (a write cut short)")
                     .arg(numbers.size() == 1 ? QStringLiteral("line") : QStringLiteral("lines"),
                          text.join(QStringLiteral(", ")), Native(file),
                          numbers.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    if (parts.isEmpty()) return {};
    return parts.join(QStringLiteral("; ")) + QStringLiteral("; skipped");
}

QString JournalRead::TornText() const {
    return vendra::TornText(Torn);
}

QStringList JournalFiles(const QString& path) {
    if (path.isEmpty()) return {};
    const QFileInfo info(path);
    std::map<int, QString> rotated;
    const QString prefix = info.fileName() + u'.';
    for (const QString& name :
         QDir(info.absolutePath()).entryList({prefix + u'*'}, QDir::Files | QDir::System)) {
        bool number = false;
        const int n = name.mid(prefix.size()).toInt(&number);
        if (number && n > 0) rotated[n] = QDir(info.absolutePath()).filePath(name);
    }
    QStringList files;
    for (auto it = rotated.rbegin(); it != rotated.rend(); ++it)
        files << it->second;
    // A FIFO or a folder in the journal's place is named, as an error, not passed over.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) files << path;
    return files;
}

JournalReader::JournalReader(QString path) : path_(std::move(path)) {}

JournalReader::JournalReader(const QString& path, Order order) : path_(path), order_(order) {
    const QStringList names = JournalFiles(path);
    missing_ = names.isEmpty();
    for (const QString& name : names) {
        Open(name);
        if (!error_.isEmpty()) {
            files_.clear();
            return;
        }
    }
    if (order_ == Order::NewestFirst) std::reverse(files_.begin(), files_.end());
}

JournalReader::~JournalReader() = default;

void JournalReader::Open(const QString& name) {
    // Not blocking: a FIFO named by mistake must not hold the reader up.
    const int fd =
        ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error_ =
            QStringLiteral("%1: %2").arg(Native(name), QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    auto f = std::make_unique<File>();
    f->name = name;
    f->fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = QStringLiteral("%1: not a regular file").arg(Native(name));
        return;
    }
    f->dev = st.st_dev;
    f->ino = st.st_ino;
    f->size = st.st_size;
    f->lo = f->size;
    files_.push_back(std::move(f));
}

bool JournalReader::Read(File& f, qint64 at, qint64 length, QByteArray& into) {
    const qsizetype start = into.size();
    into.resize(start + length);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(f.fd, into.data() + start + got, size_t(length - got), at + got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    into.resize(start + got);
    bytesRead_ += got;
    return got == length;
}

std::optional<JournalReader::RawLine> JournalReader::LineForward(File& f, bool last) {
    for (;;) {
        const qsizetype end = f.buf.indexOf('\n', f.head);
        if (end >= 0) {
            RawLine line{f.buf.mid(f.head, end - f.head), true, f.pos, ++f.lines};
            f.pos += end + 1 - f.head;
            f.head = end + 1;
            return line;
        }
        const qint64 have = f.pos + (f.buf.size() - f.head);
        if (have < f.size) {
            f.buf.remove(0, f.head);
            f.head = 0;
            if (!Read(f, have, std::min(kBlock, f.size - have), f.buf))
                f.size = f.pos + f.buf.size();  // cut shorter meanwhile: it ends there
            continue;
        }
        if (f.head >= f.buf.size()) return std::nullopt;
        // A line still going out is waited for; anywhere else a line without its end is torn.
        if (follow_ && last) return std::nullopt;
        RawLine line{f.buf.mid(f.head), false, f.pos, ++f.lines};
        f.pos += f.buf.size() - f.head;
        f.buf.clear();
        f.head = 0;
        return line;
    }
}

std::optional<JournalReader::RawLine> JournalReader::LineBackward(File& f) {
    for (;;) {
        const qsizetype n = f.buf.size();
        // Only the end of the file may lack a line end.
        const bool whole = n > 0 && f.buf[n - 1] == '\n';
        const qsizetype contentEnd = whole ? n - 1 : n;
        const void* before =
            contentEnd > 0 ? ::memrchr(f.buf.constData(), '\n', size_t(contentEnd)) : nullptr;
        if (!before && f.lo > 0) {
            const qint64 at = std::max<qint64>(0, f.lo - kBlock);
            QByteArray block;
            Read(f, at, f.lo - at, block);
            f.buf.prepend(block);
            f.lo = at;
            continue;
        }
        if (n == 0) return std::nullopt;
        const qsizetype start =
            before ? static_cast<const char*>(before) - f.buf.constData() + 1 : 0;
        RawLine line{f.buf.mid(start, contentEnd - start), whole, f.lo + start, 0};
        f.buf.truncate(start);
        return line;
    }
}

qint64 JournalReader::LineNumber(File& f, qint64 offset) {
    qint64 count = 1;
    for (qint64 at = 0; at < offset; at += kBlock) {
        QByteArray block;
        if (!Read(f, at, std::min(kBlock, offset - at), block) && block.isEmpty()) break;
        count += block.count('\n');
    }
    return count;
}

std::optional<JournalEntry> JournalReader::Next() {
    while (current_ < files_.size()) {
        File& f = *files_[current_];
        const bool last = current_ + 1 == files_.size();
        const std::optional<RawLine> raw =
            order_ == Order::NewestFirst ? LineBackward(f) : LineForward(f, last);
        if (!raw) {
            if (follow_ && last) return std::nullopt;
            ++current_;
            continue;
        }
        if (raw->text.trimmed().isEmpty()) continue;
        // A line without its line end was cut short, even when what is there parses.
        JournalEntry e = raw->whole ? JournalEntry::FromLine(raw->text) : JournalEntry{};
        lastTorn_ = e.Operation.isEmpty();
        if (!lastTorn_) return e;
        torn_ << TornLine{f.name, raw->number ? raw->number : LineNumber(f, raw->offset)};
    }
    return std::nullopt;
}

std::unique_ptr<JournalReader> JournalReader::Follower() const {
    std::unique_ptr<JournalReader> r(new JournalReader(path_));
    r->follow_ = true;
    if (files_.empty()) return r;
    const File& newest = order_ == Order::NewestFirst ? *files_.front() : *files_.back();
    auto f = std::make_unique<File>();
    f->name = newest.name;
    f->fd = ::fcntl(newest.fd, F_DUPFD_CLOEXEC, 0);
    f->dev = newest.dev;
    f->ino = newest.ino;
    f->size = f->pos = newest.size;
    r->files_.push_back(std::move(f));
    return r;
}

void JournalReader::CatchUp() {
    if (!follow_) return;
    File* last = files_.empty() ? nullptr : files_.back().get();
    struct stat st {};
    if (last && ::fstat(last->fd, &st) == 0) last->size = std::max<qint64>(last->size, st.st_size);
    // The journal rotated (or appeared): what is left of the old file is read first.
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0 &&
        (!last || st.st_ino != last->ino || st.st_dev != last->dev)) {
        Open(path_);
        error_.clear();
    }
}

JournalRead ReadJournal(const QString& path) {
    JournalRead read;
    JournalReader reader(path, JournalReader::Order::OldestFirst);
    read.Missing = reader.Missing();
    read.Error = reader.Error();
    while (std::optional<JournalEntry> e = reader.Next())
        read.Entries << std::move(*e);
    read.Torn = reader.Torn();
    read.TornLast = reader.LastLineTorn();
    return read;
}

}  // namespace vendra
