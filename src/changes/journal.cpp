#include "changes/journal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "changes/mapping_diff.h"
#include "mapping/command_lines.h"
#include "mapping/mapping_string.h"
#include "mapping/mapping_tables.h"
#include "platform/numbers.h"

namespace vendra {

QString IsoWithOffset(const QDateTime& t, bool milliseconds) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(milliseconds ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                   : QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

namespace {

QString Side(const QString& map, const QString& inputs) {
    if (map.isEmpty()) return QStringLiteral("unmapped");
    return inputs.isEmpty() ? map : inputs;
}

}  // namespace

QByteArray JournalEntry::ToLine() const {
    QJsonObject o{{"time", IsoWithOffset(Time)},
                  {"who", Who},
                  {"program", Program},
                  {"operation", Operation},
                  {"outcome", Outcome}};
    if (HasOutput()) {
        o.insert(QStringLiteral("unit"), Unit);
        o.insert(QStringLiteral("channel"), Channel);
        o.insert(QStringLiteral("output"), Output);
        o.insert(QStringLiteral("name"), Name);
        o.insert(QStringLiteral("before"), BeforeKnown ? QJsonValue(Before) : QJsonValue());
        o.insert(QStringLiteral("after"), AfterKnown ? QJsonValue(After) : QJsonValue());
        o.insert(QStringLiteral("beforeInputs"), BeforeInputs);
        o.insert(QStringLiteral("afterInputs"), AfterInputs);
    }
    if (!Command.isEmpty()) o.insert(QStringLiteral("command"), Command);
    // Compact JSON escapes every line end inside a string: the entry is one line.
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

JournalEntry JournalEntry::FromLine(const QByteArray& line) {
    JournalEntry e;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return e;
    const QJsonObject o = doc.object();
    const QDateTime time =
        QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate);
    if (!time.isValid() || !o.contains(QStringLiteral("operation"))) return e;
    e.Time = time;
    e.Who = o.value(QStringLiteral("who")).toString();
    e.Program = o.value(QStringLiteral("program")).toString();
    e.Unit = o.value(QStringLiteral("unit")).toInt();
    e.Channel = o.value(QStringLiteral("channel")).toInt();
    e.Output = o.value(QStringLiteral("output")).toInt();
    e.Name = o.value(QStringLiteral("name")).toString();
    e.Before = o.value(QStringLiteral("before")).toString();
    e.BeforeKnown = !o.value(QStringLiteral("before")).isNull();
    e.After = o.value(QStringLiteral("after")).toString();
    e.AfterKnown = !o.value(QStringLiteral("after")).isNull();
    e.BeforeInputs = o.value(QStringLiteral("beforeInputs")).toString();
    e.AfterInputs = o.value(QStringLiteral("afterInputs")).toString();
    e.Outcome = o.value(QStringLiteral("outcome")).toString();
    e.Command = o.value(QStringLiteral("command")).toString();
    e.Operation = o.value(QStringLiteral("operation")).toString();
    return e;
}

QString JournalEntry::OutputText() const {
    if (Output > 0 && !Name.isEmpty()) return Name;
    return QStringLiteral("unit %1 channel %2").arg(Plain(Unit), Plain(Channel));
}

QString EntryInWords(const JournalEntry& e, bool withDate) {
    const QString when = e.Time.toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                  : QStringLiteral("HH:mm:ss"));
    QString what;
    if (e.HasOutput()) {
        what = QStringLiteral("%1: %2 -> %3")
                   .arg(e.OutputText(),
                        e.BeforeKnown ? Side(e.Before, e.BeforeInputs) : QStringLiteral("unknown"),
                        e.AfterKnown ? Side(e.After, e.AfterInputs) : QStringLiteral("unknown"));
        if (!e.Command.isEmpty()) what += QStringLiteral(", ") + e.Command;
    } else {
        what = QStringLiteral("sent \"%1\"").arg(e.Command);
    }
    return QStringLiteral("%1 %2: %3, %4 (%5, %6)")
        .arg(when, e.Who, what, e.Outcome, e.Operation, e.Program);
}

bool OutputMatches(int output, const QString& name, int unit, int channel, const QString& filter) {
    const QString f = filter.trimmed();
    if (f.isEmpty()) return true;
    bool number = false;
    const int n = f.toInt(&number);
    if (number) return output == n;
    static const QRegularExpression address(QStringLiteral("^(-?\\d+)\\s*[/.:]\\s*(-?\\d+)$"));
    if (const QRegularExpressionMatch m = address.match(f); m.hasMatch())
        return unit == m.captured(1).toInt() && channel == m.captured(2).toInt();
    return name.contains(f, Qt::CaseInsensitive);
}

bool EntryMatches(const JournalEntry& e, const QString& filter) {
    if (!e.HasOutput()) return filter.trimmed().isEmpty();
    return OutputMatches(e.Output, e.OutputText(), e.Unit, e.Channel, filter);
}

QString JournalPath(const QString& iniPath, const QString& systemName, const QString& key) {
    const QFileInfo ini(iniPath);
    if (!key.trimmed().isEmpty()) return QDir(ini.absolutePath()).absoluteFilePath(key.trimmed());
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) {
        // Without a home (a service, cron with an emptied environment) there is no user's
        // folder: nothing is made under the file system's root.
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || QDir::isRelativePath(home) || QDir(home).isRoot()) return {};
        state = home + QStringLiteral("/.local/state");
    }
    // The System name makes the file recognisable; the path of the installation file tells two
    // installations of the same name apart.
    QString name;
    for (const QChar c : systemName)
        name += c.isLetterOrNumber() || c == u'-' || c == u'_' ? c : QChar(u'_');
    const QString where =
        ini.canonicalFilePath().isEmpty() ? ini.absoluteFilePath() : ini.canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(where.toUtf8(), QCryptographicHash::Sha1);
    return state + QStringLiteral("/vendra/") + name.left(40) + QLatin1Char('-') +
           QString::fromLatin1(hash.toHex().left(8)) + QStringLiteral(".jsonl");
}

QString outcome::Word(ChangeOutcome o) {
    switch (o) {
        case ChangeOutcome::Made:
            return kAnswered;
        case ChangeOutcome::Refused:
            return kRefused;
        case ChangeOutcome::Failed:
            return kFailed;
        case ChangeOutcome::Offline:
            return kOffline;
    }
    return kFailed;
}

std::optional<std::pair<int, int>> RawMappingTarget(const QString& command) {
    static const QStringList kWords = {"map", "and", "or", "clrmap", "mapdisab", "mapenab"};
    const std::optional<CommandAddress> a = AddressOf(command);
    if (!a || !kWords.contains(a->Word.toLower())) return std::nullopt;
    return std::pair{a->Unit, a->Channel};
}

std::optional<QString> HeldMapping(const Reply& reply) {
    if (!reply.Answered() || reply.IsError() || CountFields(reply.Line) == 0) return std::nullopt;
    return DriveOf(reply.Line).Mapped ? reply.Line.trimmed() : QString();
}

QString WhoAmI() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) {
        if (const passwd* pw = getpwuid(getuid())) user = QString::fromLocal8Bit(pw->pw_name);
    }
    if (user.isEmpty()) user = Plain(static_cast<int>(getuid()));
    return user + QLatin1Char('@') + QSysInfo::machineHostName();
}

Journal::Journal(MappingTables& tables, QString program, QObject* parent)
    : QObject(parent), tables_(tables), program_(std::move(program)), who_(WhoAmI()) {}

Journal::~Journal() {
    held_.clear();
    if (fd_ >= 0) ::close(fd_);
}

void Journal::SetPath(const QString& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_ = path;
    noPathReason_ = path.isEmpty()
                        ? QStringLiteral("HOME is not set and Kavro.ini names no Journal file")
                        : QString();
    failed_ = false;
}

void Journal::SetRotation(qint64 bytes, int keepFiles) {
    rotateBytes_ = bytes;
    keepFiles_ = std::max(1, keepFiles);
}

Journal::Operation::Operation(Journal* j, const QString& name) : j_(j) {
    if (!j_) return;
    previous_ = j_->operation_;
    j_->operation_ = name;
}

Journal::Operation::~Operation() {
    if (j_) j_->operation_ = previous_;
}

QString Journal::CurrentOperation(const QString& fallback) const {
    return operation_.isEmpty() ? fallback : operation_;
}

Journal::Hold::Hold(Journal* j) : j_(j) {
    if (j_) ++j_->holds_;
}

Journal::Hold::~Hold() {
    if (!j_ || --j_->holds_ > 0) return;
    const QList<JournalEntry> held = std::move(j_->held_);
    j_->held_.clear();
    for (const JournalEntry& e : held)
        j_->Append(e.ToLine());
}

void Journal::Settle(int unit, int channel, Check check) {
    const QString word = check == Check::Holds     ? outcome::kVerified
                         : check == Check::NotHeld ? outcome::kFailed
                                                   : outcome::kUnverified;
    for (JournalEntry& e : held_)
        if (e.Unit == unit && e.Channel == channel && e.Outcome == outcome::kAnswered)
            e.Outcome = word;
}

void Journal::Record(const QString& operation, int unit, int channel, const QString& before,
                     const QString& after, const QString& result, const QString& command,
                     bool beforeKnown, bool afterKnown) {
    JournalEntry e;
    e.Operation = operation;
    e.Unit = unit;
    e.Channel = channel;
    tables_.Current.OutUnit = unit;
    tables_.Current.OutChannel = channel;
    const int o = tables_.FindOutputMapping();
    if (tables_.IsConfiguredOutput(o)) {
        e.Output = o;
        e.Name = tables_.OutName[o];
    }
    e.Before = before;
    e.BeforeKnown = beforeKnown;
    e.After = after;
    e.AfterKnown = afterKnown;
    e.BeforeInputs = InputsByName(before, tables_);
    e.AfterInputs = InputsByName(after, tables_);
    e.Outcome = result;
    e.Command = command;
    Write(std::move(e));
}

void Journal::RecordCommand(const QString& operation, const QString& command,
                            const QString& result) {
    JournalEntry e;
    e.Operation = operation;
    e.Command = command;
    e.Outcome = result;
    Write(std::move(e));
}

void Journal::Write(JournalEntry e) {
    if (!e.Time.isValid()) e.Time = Now();
    if (e.Who.isEmpty()) e.Who = who_;
    if (e.Program.isEmpty()) e.Program = program_;
    if (holds_ > 0) {
        held_.append(std::move(e));
        return;
    }
    Append(e.ToLine());
}

QDateTime Journal::Now() {
    // The local offset costs more to find than the rest of an entry; it is looked up once a
    // minute (the instant is exact; after a clock change the offset shown follows within it).
    if (!offsetAge_.isValid() || offsetAge_.elapsed() > 60000) {
        utcOffset_ = QDateTime::currentDateTime().offsetFromUtc();
        offsetAge_.start();
    }
    return QDateTime::currentDateTimeUtc().toOffsetFromUtc(utcOffset_);
}

namespace {

// Writers of one journal take turns on the file's lock while they look at its end and append.
// Bounded: a writer stopped in its turn must not hold up a change; without the turn the entry
// still goes out whole, only a torn line before it is not closed.
bool TakeTurn(int fd) {
    constexpr int kTurnMs = 500;
    const QDeadlineTimer deadline(kTurnMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) return false;
        ::usleep(500);
    }
    return true;
}

// True when the file ends inside a line: a write cut short (a full disk, a killed program, power
// lost). Only meaningful during a turn: otherwise the end may be another program's line going out.
bool EndsInsideALine(int fd) {
    struct stat st {};
    char last = '\n';
    return ::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 &&
           last != '\n';
}

}  // namespace

bool Journal::Append(const QByteArray& line) {
    if (path_.isEmpty()) {
        if (noPathReason_.isEmpty() || failed_) return false;
        failed_ = true;
        Q_EMIT ErrorLine(
            QStringLiteral("Nothing is journalled (%1); the change went on").arg(noPathReason_));
        return false;
    }
    if (fd_ < 0 && !Open()) return false;
    bool turn = TakeTurn(fd_);
    // Another program rotated the journal: the entry goes to the file that took its place.
    if (turn && Moved()) turn = Reopen();
    if (fd_ < 0) return false;
    if (turn && rotateBytes_ > 0 && Size() > 0 && Size() + line.size() > rotateBytes_) {
        Rotate();
        turn = Reopen();
        if (fd_ < 0) return false;
    }
    // A torn line stays a line of its own: its line end goes out in the same write as the entry.
    QByteArray bytes = line;
    if (turn && EndsInsideALine(fd_)) bytes.prepend('\n');
    // One write of the whole line: appends of several programs land whole, one after another.
    ssize_t n;
    do {
        n = ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    if (turn) ::flock(fd_, LOCK_UN);
    if (n == bytes.size()) return true;
    Fail(n < 0 ? QString::fromLocal8Bit(std::strerror(error))
               : QStringLiteral("the line was cut short"));
    ::close(fd_);
    fd_ = -1;
    return false;
}

qint64 Journal::Size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
}

bool Journal::Moved() const {
    struct stat open {
    }, named{};
    if (::fstat(fd_, &open) != 0) return false;
    return ::stat(QFile::encodeName(path_).constData(), &named) != 0 ||
           named.st_ino != open.st_ino || named.st_dev != open.st_dev;
}

bool Journal::Reopen() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    return Open() && TakeTurn(fd_);
}

void Journal::Rotate() {
    // PATH.1 is the newest kept file; the oldest beyond the kept number goes.
    const auto name = [this](int n) {
        return QFile::encodeName(path_ + u'.' + QString::number(n));
    };
    ::unlink(name(keepFiles_).constData());
    for (int n = keepFiles_ - 1; n >= 1; --n)
        ::rename(name(n).constData(), name(n + 1).constData());
    ::rename(QFile::encodeName(path_).constData(), name(1).constData());
}

bool Journal::Open() {
    const QFileInfo info(path_);
    QDir().mkpath(info.absolutePath());
    // Not blocking: a FIFO named by mistake must not hold up the change. The mode is left to the
    // umask, so a journal in a shared folder can be shared. Read access only lets a torn end be
    // seen; a journal that may only be written is written all the same.
    const QByteArray name = QFile::encodeName(path_);
    constexpr int kFlags = O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    fd_ = ::open(name.constData(), O_RDWR | kFlags, 0666);
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(name.constData(), O_WRONLY | kFlags, 0666);
    if (fd_ < 0) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        Fail(QStringLiteral("not a regular file"));
        return false;
    }
    ShareWithGroup();
    return true;
}

void Journal::ShareWithGroup() {
    // A journal new in a folder its group may write to (a shared folder) is the group's too,
    // whatever the umask of the program that wrote first.
    struct stat file {
    }, folder{};
    if (::fstat(fd_, &file) != 0) return;
    if (file.st_size != 0 || file.st_uid != ::geteuid() || (file.st_mode & S_IWGRP) ||
        ::stat(QFile::encodeName(QFileInfo(path_).absolutePath()).constData(), &folder) != 0 ||
        !(folder.st_mode & S_IWGRP))
        return;
    ::fchmod(fd_, (file.st_mode & 07777) | S_IRGRP | S_IWGRP);
}

void Journal::Fail(const QString& reason) {
    if (failed_) return;
    failed_ = true;
    Q_EMIT ErrorLine(QStringLiteral("Journal not written (%1: %2); the change went on")
                         .arg(QDir::toNativeSeparators(path_), reason));
}

}  // namespace vendra
