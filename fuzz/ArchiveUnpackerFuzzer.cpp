// An update archive unpacked into an empty folder. Whatever the archive
// holds, nothing may appear outside that folder, and nothing inside it may
// be anything but a plain file or folder.

#include "ScratchFile.h"

#include "update/ArchiveUnpacker.h"

#include <QDir>

#include <cstdlib>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace fs = std::filesystem;

namespace {

// Entries may carry any mode; the folder must still go.
void removeAll(const fs::path& folder) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it);
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(folder, error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* scratch = new ScratchFile(u"update.zip"_s);
    const QString& archive = scratch->write(data, size);
    const fs::path base = fs::path(scratch->folder().toStdString());
    const fs::path target = base / "unpacked";
    fs::create_directory(target);

    (void)ArchiveUnpacker::unpack(archive, QString::fromStdString(target.string()));

    std::error_code error;
    for (const auto& entry : fs::directory_iterator(base, error)) {
        if (entry.path() != target && entry.path().filename() != "update.zip")
            std::abort();
    }
    for (auto it = fs::recursive_directory_iterator(target, fs::directory_options::none, error);
         !error && it != fs::end(it); it.increment(error)) {
        const auto status = it->symlink_status();
        if (!fs::is_regular_file(status) && !fs::is_directory(status))
            std::abort();
    }
    removeAll(target);
    return 0;
}
