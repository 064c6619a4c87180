// BridgeThread, the part the window's bridges share: batches reach the window's thread in
// the order sent and the end after them; the work waits while too many lines are on their
// way; and Cancel wakes work that waits for room, however it falls against that wait (a
// lost wake-up would hang the window's thread when the window closes).
#include "ui/BridgeThread.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

using veltrano::BridgeThread;

class BridgeThreadTest : public QObject {
  Q_OBJECT

private slots:
  void batchesArriveInOrderWhileTheWorkWaitsForRoom();
  void cancelWakesWorkWaitingForRoom();
};

// At most 2 lines on their way: without the window's thread showing anything the work
// sends three one-line batches (0, 1 and 2 lines queued before each) and waits; once the
// window's thread runs, everything arrives in order, the end last.
void BridgeThreadTest::batchesArriveInOrderWhileTheWorkWaitsForRoom() {
  QObject window;
  BridgeThread bridge(window, 2);
  std::atomic<int> sent{0};
  QStringList shown;
  QVERIFY(bridge.Start([&] {
    for (int i = 0; i < 5; ++i) {
      bridge.Send(1, [&shown, i] { shown << QString::number(i); });
      ++sent;
    }
    bridge.Done([&shown] { shown << QStringLiteral("end"); });
  }));
  QVERIFY(bridge.Running());
  QVERIFY(!bridge.Start([] {}));  // work under way

  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (sent < 3 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  QCOMPARE(sent.load(), 3);
  QVERIFY(shown.isEmpty());

  QTRY_COMPARE_WITH_TIMEOUT(shown, (QStringList{"0", "1", "2", "3", "4", "end"}), 30000);
  QCOMPARE(sent.load(), 5);
  QVERIFY(!bridge.Running());
}

// Work that has filled the queue sends once more and waits for room that never comes (the
// window's thread shows nothing meanwhile); Cancel comes the moment the work starts that
// wait. Repeated, it lands before, during and after the work's test of the room; each time
// the work must end at once.
void BridgeThreadTest::cancelWakesWorkWaitingForRoom() {
  QObject window;
  BridgeThread bridge(window, 0);
  for (int round = 0; round < 5000; ++round) {
    std::atomic<bool> waiting{false};
    std::atomic<bool> ended{false};
    QVERIFY(bridge.Start([&] {
      bridge.Send(1, [] {});
      waiting.store(true);
      bridge.Send(1, [] {});
      ended.store(true);
      bridge.Done([] {});
    }));
    while (!waiting.load()) {
    }
    bridge.Cancel();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ended.load() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    if (!ended.load()) QFAIL(qPrintable(QStringLiteral("round %1: the cancel was lost").arg(round)));
    QTRY_VERIFY(!bridge.Running());
  }
}

QTEST_GUILESS_MAIN(BridgeThreadTest)
#include "tst_bridgethread.moc"
