#include "OutputFile.h"

#include <QSaveFile>

using namespace Qt::StringLiterals;

std::expected<void, QString> OutputFile::write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return std::unexpected(u"Can't create %1: %2"_s.arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return std::unexpected(u"Can't write %1: %2"_s.arg(path, reason));
    }
    if (!file.commit())
        return std::unexpected(u"Can't write %1: %2"_s.arg(path, file.errorString()));
    return {};
}
