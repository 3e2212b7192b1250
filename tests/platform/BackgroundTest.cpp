#include "platform/Background.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <latch>
#include <vector>

class BackgroundTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Plain data filled on a pool thread reaches the main thread whole, with
    // the continuation, and the pool's thread never runs the continuation.
    // (Under ThreadSanitizer an unmarked hand-over here is reported.)
    void resultsComeBackToTheMainThread() {
        QThreadPool pool;
        QObject context;
        QThread* ranOn = nullptr;
        std::vector<int> received;
        QThread* deliveredOn = nullptr;
        const Background::Done done = Background::run(
            &pool,
            [&ranOn] {
                ranOn = QThread::currentThread();
                std::vector<int> values(1000);
                for (int i = 0; i < 1000; ++i)
                    values[i] = i * i;
                return values;
            },
            &context,
            [&](std::vector<int> values) {
                deliveredOn = QThread::currentThread();
                received = std::move(values);
            });
        done->wait();
        QVERIFY(ranOn && ranOn != QThread::currentThread());
        QTRY_COMPARE(received.size(), size_t(1000));
        QCOMPARE(received[999], 998001);
        QCOMPARE(deliveredOn, QThread::currentThread());
    }

    // A continuation whose context went away meanwhile is dropped; a task
    // cleared from its pool unrun still counts as done.
    void goneContextsAndClearedTasks() {
        QThreadPool pool;
        pool.setMaxThreadCount(1);
        std::latch gate(1);
        bool called = false;
        auto* context = new QObject;
        const Background::Done first = Background::run(
            &pool, [&gate] { gate.wait(); }, context, [&called] { called = true; });
        bool secondRan = false;
        const Background::Done second = Background::run(&pool, [&secondRan] { secondRan = true; });
        pool.clear();
        QVERIFY(second->try_wait());
        delete context;
        gate.count_down();
        first->wait();
        QCoreApplication::processEvents();
        QVERIFY(!called);
        QVERIFY(!secondRan);
    }

    // Calls posted to a mailbox run on its thread, in the order posted.
    void mailboxesRunInOrderOnTheirThread() {
        QThread thread;
        auto* mailbox = new Background::Mailbox;
        mailbox->moveToThread(&thread);
        connect(&thread, &QThread::finished, mailbox, &QObject::deleteLater);
        thread.start();
        std::vector<int> order;
        std::latch done(1);
        bool allOnThread = true;
        for (int i = 0; i < 50; ++i) {
            Background::post(mailbox, [&, i] {
                allOnThread = allOnThread && QThread::currentThread() == &thread;
                order.push_back(i);
                if (i == 49)
                    done.count_down();
            });
        }
        done.wait();
        thread.quit();
        QVERIFY(thread.wait(5000));
        QVERIFY(allOnThread);
        QCOMPARE(order.size(), size_t(50));
        QVERIFY(std::ranges::is_sorted(order));
    }
};

QTEST_GUILESS_MAIN(BackgroundTest)
#include "BackgroundTest.moc"
