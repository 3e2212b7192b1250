#include "imaging/pixels/ParallelRunner.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

class ParallelRunnerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyChunkRunsOnceAndWaitsForItsProducer() {
        const ParallelRunner runner(3);
        // Each index exactly once, whatever the grain; consumers never read
        // rows the producer has not published.
        for (int grain : {1, 7, 100, 1000}) {
            std::vector<std::atomic<int>> seen(1000);
            std::vector<int> produced(1000, 0);
            ParallelRunner::Progress progress;
            std::atomic<bool> early{false};
            runner.run(
                1000, grain,
                [&](int begin, int end) {
                    if (!progress.waitFor(end))
                        return;
                    for (int i = begin; i < end; ++i) {
                        seen[size_t(i)].fetch_add(1);
                        if (produced[size_t(i)] != i + 1)
                            early = true;
                    }
                },
                [&] {
                    for (int i = 0; i < 1000; ++i) {
                        produced[size_t(i)] = i + 1;
                        if (i % 10 == 9)
                            progress.publish(i + 1);
                    }
                    progress.finish();
                });
            for (const auto& count : seen)
                QCOMPARE(count.load(), 1);
            QVERIFY(!early);
        }
    }

    void aThreadKeptToItselfUsesNoHelpers() {
        const ParallelRunner runner(4);
        std::mutex mutex;
        std::set<Qt::HANDLE> workers;
        Qt::HANDLE caller = nullptr;
        QThread* background = QThread::create([&] {
            ParallelRunner::keepCurrentThreadToItself();
            caller = QThread::currentThreadId();
            runner.run(64, 1, [&](int, int) {
                QThread::usleep(200);
                std::lock_guard lock(mutex);
                workers.insert(QThread::currentThreadId());
            });
        });
        background->start();
        QVERIFY(background->wait(10000));
        delete background;
        QCOMPARE(workers, std::set<Qt::HANDLE>{caller});

        // Other threads still share their work out.
        workers.clear();
        runner.run(64, 1, [&](int, int) {
            QThread::usleep(200);
            std::lock_guard lock(mutex);
            workers.insert(QThread::currentThreadId());
        });
        QVERIFY(workers.size() > 1);
    }
};

QTEST_GUILESS_MAIN(ParallelRunnerTest)
#include "ParallelRunnerTest.moc"
