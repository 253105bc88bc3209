#include "widgets/captions.h"

#include "platform/numbers.h"

namespace vendra {

QString ProgressCaption(const ProgressReport& progress) {
    using Phase = ProgressReport::Phase;
    switch (progress.phase) {
        case Phase::Starting:
            return {};
        case Phase::Reading:
            return QStringLiteral("Downloading ") + SignColumn(progress.done);
        case Phase::Loading:
            return QStringLiteral("Mapping ") + SignColumn(progress.done - 1);
        case Phase::Changing:
            return QStringLiteral("Changing ") + SignColumn(progress.done);
        case Phase::Verifying:
            return QStringLiteral("Verifying ") + SignColumn(progress.done);
    }
    return {};
}

QString ErrorCaption(const ErrorReport& error) {
    switch (error.kind) {
        case ErrorReport::Kind::Cleared:
            return {};
        case ErrorReport::Kind::LineFailed:
            return QStringLiteral("Comm Error!");
        case ErrorReport::Kind::Message:
            return error.text;
    }
    return {};
}

}  // namespace vendra
