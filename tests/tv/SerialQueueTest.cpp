#include "tv/SerialQueue.h"
#include "platform/Background.h"

#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;

class SerialQueueTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Work runs on the queue's own thread, in order, and a synchronous call
    // made from the queue itself runs in place instead of waiting on itself.
    void runsInOrderOnItsThread() {
        SerialQueue queue(u"test-queue"_s);
        QThread* caller = QThread::currentThread();
        QThread* worker = queue.sync([] { return QThread::currentThread(); });
        QVERIFY(worker != caller);
        QCOMPARE(worker->objectName(), u"test-queue"_s);

        QList<int> order;
        for (int i = 0; i < 5; ++i)
            queue.post([&order, i] { order.append(i); });
        const int nested = queue.sync([&] { return queue.sync([] { return 7; }); });
        QCOMPARE(nested, 7);
        QCOMPARE(order, (QList<int>{0, 1, 2, 3, 4}));
    }

    // Many threads calling in at once all get through.
    void concurrentCallers() {
        SerialQueue queue(u"test-queue"_s);
        int counter = 0;
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        for (int i = 0; i < 8; ++i) {
            Background::run(&pool, [&] {
                for (int n = 0; n < 100; ++n)
                    queue.sync([&] { ++counter; });
            });
        }
        QVERIFY(pool.waitForDone(30000));
        QCOMPARE(queue.sync([&] { return counter; }), 800);
    }

    // Objects living on the queue are destroyed on its thread with the queue.
    void destroysItsObjectsOnItsThread() {
        QThread* destroyedOn = nullptr;
        {
            SerialQueue queue(u"test-queue"_s);
            queue.sync([&] {
                auto* object = new QObject(queue.context());
                connect(object, &QObject::destroyed, object,
                        [&destroyedOn] { destroyedOn = QThread::currentThread(); });
            });
        }
        QVERIFY(destroyedOn);
        QVERIFY(destroyedOn != QThread::currentThread());
    }
};

QTEST_GUILESS_MAIN(SerialQueueTest)
#include "SerialQueueTest.moc"
