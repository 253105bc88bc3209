#pragma once
// A small reader of classic profile files: "[Section]" lines open a section, "key=value" lines
// give values. Section and key names are compared without regard to case, blanks around names
// and around the value are dropped, the first occurrence of a key in a section wins (also when
// the section appears more than once), and a value is kept whole: commas, semicolons and quotes
// are ordinary characters. Lines starting with ";" or "#" are comments. A missing file, section
// or key reads as the empty text.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

namespace vendra {

class IniFile {
public:
    enum class State { Empty, Read, Missing, Unreadable };

    // No configuration file is anywhere near this size; anything larger is not one.
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    IniFile() = default;
    explicit IniFile(const QString& path) { Load(path); }

    // Reads the file. False when it is missing or cannot be used; State() and ErrorText() say
    // why, and every value then reads as empty.
    bool Load(const QString& path);
    // Takes the file's contents from memory, as if read from a file.
    void LoadBytes(const QByteArray& bytes);

    // The value of key in section; empty when the file, section or key is missing.
    QString Value(QStringView section, QStringView key) const;
    bool HasSection(QStringView section) const;

    State FileState() const { return state_; }
    bool IsRead() const { return state_ == State::Read; }
    // The system's reason when the file is missing or unusable.
    QString ErrorText() const { return error_; }
    QString Path() const { return path_; }

    // UTF-8 when the bytes are valid UTF-8 (a leading byte order mark is dropped), otherwise
    // Windows-1252, which every byte sequence is.
    static QString Decode(const QByteArray& bytes);
    static QString DecodeWindows1252(QByteArrayView bytes);

private:
    using Section = QHash<QString, QString>;

    void Parse(QStringView text);
    void Fail(State state, const QString& reason);

    QHash<QString, Section> sections_;
    State state_ = State::Empty;
    QString error_;
    QString path_;
};

}  // namespace vendra
