// Workers of the window hand their results to the thread of a Qt object: a queued call.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <utility>

#include "player/NotifyThread.h"

namespace quillon {

// Runs each function handed over on the thread of receiver, later, without waiting; dropped
// when receiver is gone by then.
inline TRunOnMainThread QueuedOn(QObject* receiver) {
  return [receiver](std::function<void()> function) {
    QMetaObject::invokeMethod(receiver, std::move(function), Qt::QueuedConnection);
  };
}

}  // namespace quillon
