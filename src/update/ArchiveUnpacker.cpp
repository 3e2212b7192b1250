#include "ArchiveUnpacker.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

bool safeName(const QByteArray& name) {
    if (name.isEmpty() || name.startsWith('/'))
        return false;
    for (const QByteArray& part : name.split('/'))
        if (part == "..")
            return false;
    return true;
}

bool copyData(archive* in, archive* out) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(in, &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status < ARCHIVE_WARN || archive_write_data_block(out, block, size, offset) < ARCHIVE_WARN)
            return false;
    }
}

} // namespace

std::expected<void, UpdateError> ArchiveUnpacker::unpack(const QString& archivePath, const QString& folder) {
    const UpdateError failed = UpdateError::failedTool(QString::fromLatin1(kName));
    std::unique_ptr<archive, ReadFree> in(archive_read_new());
    std::unique_ptr<archive, WriteFree> out(archive_write_disk_new());
    if (!in || !out)
        return std::unexpected(failed);
    archive_read_support_format_zip(in.get());
    archive_read_support_filter_none(in.get());
    // Entries get the working folder as prefix, so the absolute-path flag
    // cannot be used; absolute entries are refused below instead.
    archive_write_disk_set_options(
        out.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                       ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(in.get(), QFile::encodeName(archivePath).constData(), 1 << 16) !=
        ARCHIVE_OK)
        return std::unexpected(failed);

    const QByteArray prefix = QFile::encodeName(QDir::cleanPath(folder)) + '/';
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(in.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return std::unexpected(failed);
        const char* rawName = archive_entry_pathname(entry);
        const QByteArray name = rawName ? QByteArray(rawName) : QByteArray();
        const auto type = archive_entry_filetype(entry);
        if (!safeName(name) || (type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry))
            return std::unexpected(failed);
        archive_entry_set_pathname(entry, QByteArray(prefix + name).constData());
        if (archive_write_header(out.get(), entry) < ARCHIVE_WARN || !copyData(in.get(), out.get()) ||
            archive_write_finish_entry(out.get()) < ARCHIVE_WARN)
            return std::unexpected(failed);
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        return std::unexpected(failed);
    return {};
}
