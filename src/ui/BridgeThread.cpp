#include "ui/BridgeThread.h"

#include <utility>

namespace veltrano {

BridgeThread::BridgeThread(QObject& window, const QString& name, int maxQueuedLines)
    : window_(window), maxQueuedLines_(maxQueuedLines) {
  thread_.setObjectName(name);
  onThread_.moveToThread(&thread_);
  thread_.start();
}

BridgeThread::~BridgeThread() {
  Cancel();
  thread_.quit();
  thread_.wait();
}

bool BridgeThread::Start(std::function<void()> work) {
  if (running_) return false;
  running_ = true;
  {
    std::lock_guard lock(queueMutex_);
    stop_.Clear();
    queuedLines_ = 0;
  }
  QMetaObject::invokeMethod(&onThread_, std::move(work), Qt::QueuedConnection);
  return true;
}

void BridgeThread::Cancel() noexcept {
  {
    std::lock_guard lock(queueMutex_);
    stop_.Request();
  }
  queueSpace_.notify_all();
}

void BridgeThread::Send(int lines, std::function<void()> show) {
  {
    std::unique_lock lock(queueMutex_);
    queueSpace_.wait(lock, [this] { return queuedLines_ <= maxQueuedLines_ || Cancelled(); });
    queuedLines_ += lines;
  }
  QMetaObject::invokeMethod(
      &window_,
      [this, lines, show = std::move(show)] {
        show();
        Shown(lines);
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

void BridgeThread::Shown(int lines) {
  {
    std::lock_guard lock(queueMutex_);
    queuedLines_ -= lines;
  }
  queueSpace_.notify_all();
}

}  // namespace veltrano
