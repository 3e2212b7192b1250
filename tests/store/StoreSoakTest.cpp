#include "StoreFakes.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QString kSampleCard = QStringLiteral(ZV_SOURCE_DIR "/samples/card");

// A copy of a folder tree, file by file.
void copyTree(const QString& from, const QString& to) {
    for (auto [path, content] : FileTree::snapshot(from).asKeyValueRange())
        FileTree::write(to + path.sliced(from.size()), content);
}

int environmentNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

// Random store operations over a copy of the sample card, each followed by a
// check that every file is where it was, unchanged, or in the Trash, or was
// deleted for good on request. Prints its seed; ZV_SOAK_SEED replays a run and
// ZV_SOAK_OPERATIONS sets its length.
class StoreSoakTest : public QObject {
    Q_OBJECT

    enum class Operation { select, toggleFormat, look, adjust, crop, trash, undo, save, openMidScan, count };

private Q_SLOTS:
    void randomOperationsKeepEveryFile() {
        const auto seed =
            quint32(environmentNumber("ZV_SOAK_SEED", int(QRandomGenerator::system()->generate() >> 1)));
        const int operations = environmentNumber("ZV_SOAK_OPERATIONS", 2000);
        qInfo().noquote() << "soak: seed" << seed << u"(replay with ZV_SOAK_SEED=%1)"_s.arg(seed);
        QRandomGenerator random(seed);

        QTemporaryDir root;
        const QString card = root.filePath(u"card/DCIM"_s);
        copyTree(kSampleCard + u"/DCIM"_s, card);
        const QString other = root.filePath(u"other"_s);
        copyTree(kSampleCard + u"/DCIM/100ZORVA"_s, other);
        const QMap<QString, QByteArray> original = FileTree::snapshot(root.path());

        StoreHarness h;
        // A card without a Trash for DNG files: those shots are offered a permanent delete.
        h.trash.refusedSuffixes = {u".DNG"_s};
        const QString trashFiles = h.home.filePath(u"data/Trash/files"_s);
        h.openAndSettle(card);
        QList<ToastAction> trashed;
        QStringList deleted;
        QElapsedTimer clock;
        clock.start();

        for (int step = 0; step < operations; ++step) {
            const auto operation = Operation(random.bounded(int(Operation::count)));
            const int shots = int(h.store.shots().size());
            bool settle = true;
            switch (operation) {
            case Operation::select:
                h.store.select(shots ? random.bounded(shots) : 0);
                break;
            case Operation::toggleFormat:
                h.store.toggleFormat();
                break;
            case Operation::look:
                h.store.selectLook(kLooks[random.bounded(int(kLooks.size()))]);
                break;
            case Operation::adjust: {
                Edit edit = h.store.currentEdit();
                edit.adjustments = {random.bounded(4.0) - 2, 0.5 + random.bounded(1.0), random.bounded(2.0),
                                    random.bounded(2.0) - 1};
                h.store.setCurrentEdit(edit);
                break;
            }
            case Operation::crop:
                h.store.startCrop();
                h.store.setCropDraft({random.bounded(0.4), random.bounded(0.4), 0.3 + random.bounded(0.3),
                                      0.3 + random.bounded(0.3)});
                random.bounded(2) ? h.store.finishCrop() : h.store.cancelCrop();
                break;
            case Operation::trash: {
                const QUuid shown = h.store.toast() ? h.store.toast()->id : QUuid();
                h.store.trashCurrent();
                if (const std::optional<Shot> candidate = h.store.permanentDeleteCandidate()) {
                    h.store.setPermanentDeleteCandidate(std::nullopt);
                    if (random.bounded(2)) {
                        h.store.deletePermanently(*candidate);
                        for (const QString& file : candidate->files.all()) {
                            if (!QFileInfo::exists(file))
                                deleted.append(file);
                        }
                    }
                } else if (h.store.toast() && h.store.toast()->id != shown) {
                    trashed.append(*h.store.toast()->action);
                }
                break;
            }
            case Operation::undo:
                // The toast's undo when it shows, else the newest trash whose toast has gone.
                if (h.store.toast() && h.store.toast()->action &&
                    h.store.toast()->action->kind == ToastAction::Kind::undoTrash) {
                    trashed.removeLast();
                    h.store.undoLastTrash();
                } else if (!trashed.isEmpty()) {
                    h.store.perform(trashed.takeLast());
                }
                break;
            case Operation::save:
                h.store.saveCopy();
                break;
            case Operation::openMidScan:
                // The next operation lands while this scan runs.
                h.store.open(PhotoSource::folder(random.bounded(2) ? card : other));
                settle = false;
                break;
            case Operation::count:
                break;
            }
            if (settle)
                h.settle();
            verifyFiles(original, root.path(), trashFiles, deleted, step, seed);
            if (QTest::currentTestFailed())
                return;
        }
        h.settle();
        const qint64 elapsed = clock.elapsed();

        // Undoing every trash, newest first, brings back the card byte for byte.
        for (qsizetype i = trashed.size() - 1; i >= 0; --i)
            h.store.perform(trashed[i]);
        h.settle();
        QMap<QString, QByteArray> expected = original;
        for (const QString& file : deleted)
            expected.remove(file);
        const QMap<QString, QByteArray> restored = FileTree::snapshot(root.path());
        QCOMPARE(restored.keys(), expected.keys());
        QVERIFY(restored == expected);

        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        qInfo().noquote() << "soak:" << operations << "operations in" << elapsed << "ms," << trashed.size()
                          << "trashes undone at the end," << deleted.size()
                          << "files deleted for good; peak RSS" << usage.ru_maxrss / 1024 << "MiB";
    }

private:
    // No file is new, changed or gone, except into the Trash (unchanged) or
    // deleted for good on request.
    static void verifyFiles(const QMap<QString, QByteArray>& original, const QString& root,
                            const QString& trashFiles, const QStringList& deleted, int step, quint32 seed) {
        const QString where = u" after operation %1 (ZV_SOAK_SEED=%2)"_s.arg(step).arg(seed);
        const QMap<QString, QByteArray> now = FileTree::snapshot(root);
        QMultiHash<QByteArray, QString> inTrash;
        for (auto [path, content] : FileTree::snapshot(trashFiles).asKeyValueRange())
            inTrash.insert(content, path);
        for (auto [path, content] : now.asKeyValueRange())
            QVERIFY2(original.value(path) == content, qPrintable(path + u" is new or changed"_s + where));
        for (auto [path, content] : original.asKeyValueRange()) {
            if (now.contains(path) || deleted.contains(path))
                continue;
            QVERIFY2(inTrash.remove(content, inTrash.value(content)) == 1,
                     qPrintable(path + u" is gone, and not to the Trash"_s + where));
        }
    }
};

QTEST_GUILESS_MAIN(StoreSoakTest)
#include "StoreSoakTest.moc"
