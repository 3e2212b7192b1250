#pragma once

#include "support/FileTree.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QMap>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

// Keys, bundles and archives for update tests, made at test time.
namespace UpdateFixtures {

struct KeyPair {
    QByteArray privatePem;
    QByteArray publicPem;
};

inline KeyPair makeKeyPair() {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"),
                                                            EVP_PKEY_free);
    KeyPair pair;
    for (const bool isPrivate : {true, false}) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
        if (!key || !bio ||
            (isPrivate ? PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)
                       : PEM_write_bio_PUBKEY(bio.get(), key.get())) != 1)
            qFatal("cannot make a key");
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio.get(), &data);
        (isPrivate ? pair.privatePem : pair.publicPem) = QByteArray(data, length);
    }
    return pair;
}

// A bundle whose program, when started, writes the bundle's version (read at
// that moment) to `relaunched` beside the bundle's folder.
inline QString makeBundle(const QString& folder, const QString& version, const QByteArray& build) {
    const QString bundle = folder + QStringLiteral("/zorva-viewer.app");
    const QString program = FileTree::write(bundle + QStringLiteral("/bin/zorva-viewer"),
                                            "#!/bin/sh\nhere=$(dirname \"$0\")/..\nsed -n 's/.*\"version\": "
                                            "\"\\(.*\\)\".*/\\1/p' \"$here/bundle.json\" "
                                            "> \"$here/../relaunched\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    FileTree::write(bundle + QStringLiteral("/share/zorva-viewer/notes.txt"), "notes of " + version.toUtf8());
    FileTree::write(bundle + QStringLiteral("/bundle.json"),
                    "{\n  \"identifier\": \"org.zorva.Viewer\",\n  \"version\": \"" + version.toUtf8() +
                        "\",\n  \"build\": " + build + "\n}\n");
    return bundle;
}

struct Entry {
    QByteArray name;
    QByteArray data;
    int mode = 0644;
    QByteArray symlink; // target; a symlink entry when set
};

// The entries of a folder tree, named from `base` on (files, folders, symlinks).
inline QList<Entry> entriesOf(const QString& root, const QString& base) {
    QList<Entry> entries;
    QDirIterator it(root + u'/' + base, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        Entry entry;
        entry.name = QDir(root).relativeFilePath(info.filePath()).toUtf8();
        struct stat status {};
        ::lstat(QFile::encodeName(info.filePath()).constData(), &status);
        entry.mode = int(status.st_mode & 07777);
        if (info.isSymLink()) {
            entry.symlink = QFile::encodeName(info.symLinkTarget());
        } else if (info.isDir()) {
            entry.name += '/';
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            entry.data = file.readAll();
        }
        entries.append(entry);
    }
    return entries;
}

inline QByteArray zip(const QList<Entry>& entries) {
    QByteArray bytes(64 << 20, '\0');
    size_t used = 0;
    std::unique_ptr<archive, decltype(&archive_write_free)> out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    archive_write_set_bytes_in_last_block(out.get(), 1);
    archive_write_open_memory(out.get(), bytes.data(), size_t(bytes.size()), &used);
    for (const Entry& e : entries) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.name.constData());
        const bool folder = e.name.endsWith('/');
        archive_entry_set_filetype(entry.get(), !e.symlink.isEmpty() ? AE_IFLNK
                                                : folder             ? AE_IFDIR
                                                                     : AE_IFREG);
        archive_entry_set_perm(entry.get(), mode_t(folder ? 0755 : e.mode));
        if (!e.symlink.isEmpty())
            archive_entry_set_symlink(entry.get(), e.symlink.constData());
        archive_entry_set_size(entry.get(), e.data.size());
        archive_write_header(out.get(), entry.get());
        archive_write_data(out.get(), e.data.constData(), size_t(e.data.size()));
    }
    archive_write_close(out.get());
    bytes.truncate(qsizetype(used));
    return bytes;
}

// Every name in a tree with its mode and content hash (a symlink: its target).
inline QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> tree;
    for (const Entry& e : entriesOf(QFileInfo(root).path(), QFileInfo(root).fileName()))
        tree.insert(QString::fromUtf8(e.name),
                    QByteArray::number(e.mode, 8) + ' ' + e.symlink +
                        QCryptographicHash::hash(e.data, QCryptographicHash::Sha256).toHex());
    return tree;
}

inline QString sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace UpdateFixtures
