#pragma once
// The two ways this system writes numbers as text, and the one way it reads them.
#include <QString>
#include <QStringView>
#include <optional>

namespace vendra {

// Units, channels and port numbers are 16-bit signed integers on the controller.
inline constexpr int kInt16Min = -32768;
inline constexpr int kInt16Max = 32767;

// Plain form: the digits, a minus sign before a negative number ("3", "-3").
QString Plain(long long n);

// Sign-column form: a blank where a minus sign would stand (" 3", "-3"). Command arguments,
// progress texts and the output list's input columns use it.
QString SignColumn(long long n);

// Reads the number at the start of a text: blanks, tabs and line feeds are skipped wherever
// they stand, then an optional sign and digits with an optional fraction are taken up to the
// first character that cannot continue the number. A text without a leading number gives 0.
double ReadNumber(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// ReadNumber rounded half to even; empty when the result lies outside [lowest, highest].
std::optional<int> ReadWholeNumber(QStringView text, int lowest, int highest);

// ReadNumber rounded half to even and clamped into the 16-bit signed range.
int ReadInt16Clamped(QStringView text);

}  // namespace vendra
