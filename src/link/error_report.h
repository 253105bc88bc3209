#pragma once
// What the console tells its error line, as a value: the window chooses the words it shows.
#include <QString>

namespace vendra {

struct ErrorReport {
    enum class Kind {
        Cleared,     // nothing to tell: the line is emptied
        LineFailed,  // a command went unanswered, was cut short or found the line gone
        Message,     // words of the controller (a refusal, its version) or of the console
    };
    Kind kind = Kind::Cleared;
    QString text;  // a message's words

    static ErrorReport Cleared() { return {}; }
    static ErrorReport LineFailed() { return {Kind::LineFailed, {}}; }
    static ErrorReport Message(const QString& text) { return {Kind::Message, text}; }
};

}  // namespace vendra
