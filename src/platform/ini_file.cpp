#include "platform/ini_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace vendra {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes Windows leaves
// undefined there map to the C1 control of the same value, as the system's own decoder does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QString Fold(QStringView name) {
    return TrimBlanks(name).toString().toCaseFolded();
}

}  // namespace

QString IniFile::DecodeWindows1252(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return out;
}

QString IniFile::Decode(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
    return DecodeWindows1252(view);
}

void IniFile::Fail(State state, const QString& reason) {
    sections_.clear();
    state_ = state;
    error_ = reason;
}

bool IniFile::Load(const QString& path) {
    path_ = path;
    error_.clear();
    sections_.clear();
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        Fail(State::Missing, QStringLiteral("No such file or directory"));
        return false;
    }
    if (QFileInfo(path).isDir()) {
        Fail(State::Unreadable, QStringLiteral("Is a directory"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(State::Unreadable, file.errorString());
        return false;
    }
    // Read one byte past the limit so that devices and pipes, whose size is unknown, are
    // caught too.
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        Fail(State::Unreadable, file.errorString());
        return false;
    }
    if (bytes.size() > kMaxBytes) {
        Fail(State::Unreadable, QStringLiteral("File is larger than %1 MB, too large for a "
                                               "configuration file")
                                    .arg(kMaxBytes / (1024 * 1024)));
        return false;
    }
    if (bytes.contains('\0')) {
        Fail(State::Unreadable, QStringLiteral("File holds binary data, not text"));
        return false;
    }
    LoadBytes(bytes);
    return true;
}

void IniFile::LoadBytes(const QByteArray& bytes) {
    sections_.clear();
    error_.clear();
    state_ = State::Read;
    Parse(Decode(bytes));
}

void IniFile::Parse(QStringView text) {
    Section* current = nullptr;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = TrimBlanks(text.mid(pos, end - pos));
        // CR LF, LF and a lone CR each end one line.
        pos = end;
        if (pos < n) pos += (text[pos] == u'\r' && pos + 1 < n && text[pos + 1] == u'\n') ? 2 : 1;

        if (line.isEmpty() || line[0] == u';' || line[0] == u'#') continue;
        if (line[0] == u'[') {
            qsizetype close = line.indexOf(u']');
            if (close < 0) close = line.size();
            current = &sections_[Fold(line.mid(1, close - 1))];
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || current == nullptr) continue;
        const QString key = Fold(line.left(eq));
        if (key.isEmpty() || current->contains(key)) continue;
        current->insert(key, TrimBlanks(line.mid(eq + 1)).toString());
    }
}

QString IniFile::Value(QStringView section, QStringView key) const {
    const auto s = sections_.constFind(Fold(section));
    if (s == sections_.cend()) return {};
    return s->value(Fold(key));
}

bool IniFile::HasSection(QStringView section) const {
    return sections_.contains(Fold(section));
}

}  // namespace vendra
