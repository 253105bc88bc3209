#include "platform/numbers.h"

#include <cmath>
#include <limits>

namespace vendra {

QString Plain(long long n) {
    return QString::number(n);
}

QString SignColumn(long long n) {
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

namespace {

bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

}  // namespace

double ReadNumber(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&] {
        while (i < n && IsSkipped(text[i]))
            ++i;
    };
    skip();
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    double value = 0;
    bool fraction = false;
    double scale = 1;
    for (skip(); i < n; ++i, skip()) {
        if (i >= n) break;
        const QChar c = text[i];
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            const int digit = c.unicode() - u'0';
            if (fraction) {
                scale /= 10;
                value += digit * scale;
            } else {
                value = value * 10 + digit;
            }
        } else if (c == u'.' && !fraction) {
            fraction = true;
        } else {
            break;
        }
    }
    return negative ? -value : value;
}

double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

std::optional<int> ReadWholeNumber(QStringView text, int lowest, int highest) {
    const double v = RoundHalfEven(ReadNumber(text));
    if (!(v >= lowest && v <= highest)) return std::nullopt;
    return static_cast<int>(v);
}

int ReadInt16Clamped(QStringView text) {
    const double v = RoundHalfEven(ReadNumber(text));
    if (v < kInt16Min) return kInt16Min;
    if (v > kInt16Max) return kInt16Max;
    return static_cast<int>(v);
}

}  // namespace vendra
