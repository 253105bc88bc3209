#include "link/busy_state.h"

#include <QCoreApplication>

namespace vendra {

void BusyState::Pump(QEventLoop::ProcessEventsFlags flags) {
    ++pumping_;
    QCoreApplication::processEvents(flags);
    --pumping_;
}

BusyState::Scope::Scope(BusyState& state) : state_(state) {
    if (state_.depth_++ == 0) Q_EMIT state_.BusyChanged(true);
}

BusyState::Scope::~Scope() {
    if (--state_.depth_ == 0) Q_EMIT state_.BusyChanged(false);
}

}  // namespace vendra
