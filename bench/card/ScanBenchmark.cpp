#include "Ratio.h"

#include "card/PhotoScanner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A card-like tree: 50 folders of JPEG/RAW pairs, lone JPEGs and RAWs, and
// other files (videos, sidecars) that the scanner must pass over.
class CardTree {
public:
    explicit CardTree(int files) {
        const int folders = 50;
        const int perFolder = files / folders;
        for (int f = 0; f < folders; ++f) {
            const QString folder = dir_.filePath(QStringLiteral("DCIM/%1ZORVA").arg(100 + f));
            QDir().mkpath(folder);
            for (int i = 0; i < perFolder; ++i) {
                const int shot = i / 2;
                QString name;
                switch (i % 10) {
                case 8:
                    name = QStringLiteral("ZRV%1.MOV").arg(shot, 5, 10, QLatin1Char('0'));
                    break;
                case 9:
                    name = QStringLiteral("ZRV%1.xmp").arg(shot, 5, 10, QLatin1Char('0'));
                    break;
                default:
                    name = QStringLiteral("ZRV%1.%2")
                               .arg(shot, 5, 10, QLatin1Char('0'))
                               .arg(i % 2 ? QStringLiteral("DNG") : QStringLiteral("JPG"));
                }
                QFile file(folder + QLatin1Char('/') + name);
                file.open(QIODevice::WriteOnly);
            }
        }
    }
    QString root() const { return dir_.filePath(QStringLiteral("DCIM")); }

private:
    QTemporaryDir dir_;
};

// The floor for any scan: every entry listed and every file stat'ed once.
size_t bareWalk(const QByteArray& path) {
    size_t count = 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = ::fdopendir(fd);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (entry->d_type == DT_DIR) {
            count += bareWalk(path + '/' + entry->d_name);
            continue;
        }
        struct stat st;
        if (::fstatat(fd, entry->d_name, &st, 0) == 0)
            count += static_cast<size_t>(st.st_mtim.tv_nsec & 1);
        ++count;
    }
    ::closedir(dir);
    return count;
}

void BM_ScanCard(benchmark::State& state) {
    static const CardTree tree(smokeRun() ? 2'000 : 20'000);
    const QString root = tree.root();
    const QByteArray rootBytes = QFile::encodeName(root);
    qsizetype shots = 0;
    measureAgainst(
        state, [&] { shots = PhotoScanner::shots(root).size(); },
        [&] { benchmark::DoNotOptimize(bareWalk(rootBytes)); });
    state.counters["shots"] = static_cast<double>(shots);
}

} // namespace

BENCHMARK(BM_ScanCard)->Unit(benchmark::kMillisecond)->UseRealTime();
