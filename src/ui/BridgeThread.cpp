#include "ui/BridgeThread.h"

#include <utility>

namespace veltrano {

bool BridgeThread::Start(std::function<void()> work) {
  if (running_) return false;
  // The last work has delivered its end, its last act: it is returning, if it has not.
  job_.Wait();
  job_.Start(std::move(work));
  running_ = true;
  return true;
}

void BridgeThread::Send(int lines, std::function<void()> show) {
  job_.WaitForRoom(lines);
  QMetaObject::invokeMethod(
      &window_,
      [this, lines, show = std::move(show)] {
        show();
        job_.Shown(lines);
      },
      Qt::QueuedConnection);
}

void BridgeThread::Post(std::function<void()> show) {
  QMetaObject::invokeMethod(&window_, std::move(show), Qt::QueuedConnection);
}

void BridgeThread::Done(std::function<void()> end) {
  QMetaObject::invokeMethod(
      &window_,
      [this, end = std::move(end)] {
        running_ = false;
        end();
      },
      Qt::QueuedConnection);
}

}  // namespace veltrano
