#include "BundleSignature.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

Key readKey(const QByteArray& pem, bool isPrivate) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio)
        return nullptr;
    Key key(isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                      : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (key && EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519)
        return nullptr;
    return key;
}

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<QByteArray> fileHash(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return std::nullopt;
    return hash.result().toHex();
}

// A symlink stays inside the bundle when its target, taken relative to the
// link's folder, never climbs above the bundle's root.
bool staysInside(const QString& relativeLink, const QByteArray& target) {
    if (target.isEmpty() || target.startsWith('/'))
        return false;
    const QString folder = QFileInfo(relativeLink).path();
    const QString resolved = QDir::cleanPath(folder + u'/' + QString::fromUtf8(target));
    return resolved != ".."_L1 && !resolved.startsWith("../"_L1) && !resolved.startsWith(u'/');
}

} // namespace

std::expected<QByteArray, UpdateError>
BundleSignature::manifest(const QString& folder, const QString& identifier, const QString& team) {
    // Names are taken relative to the bundle, which needs it absolute.
    const QString bundle = QFileInfo(folder).absoluteFilePath();
    const QDir root(bundle);
    if (!root.exists())
        return std::unexpected(UpdateError::notSigned());
    std::map<QByteArray, QByteArray> lines;
    QDirIterator it(bundle, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = root.relativeFilePath(path);
        if (relative == QLatin1StringView(kFolder) || relative.startsWith(QLatin1StringView(kFolder) + u'/'))
            continue;
        const QByteArray name = relative.toUtf8();
        if (name.contains('\n'))
            return std::unexpected(UpdateError::notSigned());
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
            return std::unexpected(UpdateError::notSigned());
        if (S_ISDIR(status.st_mode))
            continue;
        if (S_ISLNK(status.st_mode)) {
            QByteArray target(PATH_MAX, '\0');
            const ssize_t length =
                ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
            if (length <= 0)
                return std::unexpected(UpdateError::notSigned());
            target.truncate(length);
            if (!staysInside(relative, target) || target.contains('\n'))
                return std::unexpected(UpdateError::notSigned());
            lines[name] = "link " + target + ' ' + name + '\n';
            continue;
        }
        if (!S_ISREG(status.st_mode))
            return std::unexpected(UpdateError::notSigned());
        const std::optional<QByteArray> hash = fileHash(path);
        if (!hash)
            return std::unexpected(UpdateError::notSigned());
        lines[name] = "file " + QByteArray::number(status.st_mode & 07777, 8).rightJustified(4, '0') + ' ' +
                      *hash + ' ' + name + '\n';
    }
    QByteArray text =
        "zorva-bundle-manifest 1\nidentifier " + identifier.toUtf8() + "\nteam " + team.toUtf8() + '\n';
    for (const auto& [name, line] : lines)
        text += line;
    return text;
}

std::expected<void, UpdateError> BundleSignature::sign(const QString& bundle, const QByteArray& privateKeyPem,
                                                       const QString& identifier, const QString& team) {
    const std::expected<QByteArray, UpdateError> text = manifest(bundle, identifier, team);
    if (!text)
        return std::unexpected(text.error());
    const Key key = readKey(privateKeyPem, true);
    const Context context(EVP_MD_CTX_new());
    if (!key || !context)
        return std::unexpected(UpdateError{u"Can't read the signing key."_s});
    QByteArray signature(64, '\0');
    size_t length = size_t(signature.size());
    if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(text->constData()), size_t(text->size())) != 1)
        return std::unexpected(UpdateError{u"Signing failed."_s});
    signature.truncate(qsizetype(length));

    if (!QDir(bundle).mkpath(QLatin1StringView(kFolder)))
        return std::unexpected(UpdateError{u"Can't create the signature folder."_s});
    for (const auto& [file, bytes] :
         {std::pair{kManifestFile, *text}, std::pair{kSignatureFile, signature}}) {
        QSaveFile out(bundle + u'/' + QLatin1StringView(file));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            return std::unexpected(
                UpdateError{u"Can't write "_s + out.fileName() + u": "_s + out.errorString()});
    }
    return {};
}

std::expected<void, UpdateError> BundleSignature::verify(const QString& bundle,
                                                         const QByteArray& publicKeyPem,
                                                         const QString& identifier, const QString& team) {
    const std::optional<QByteArray> signed_ = readFile(bundle + u'/' + QLatin1StringView(kManifestFile));
    const std::optional<QByteArray> signature = readFile(bundle + u'/' + QLatin1StringView(kSignatureFile));
    const Key key = readKey(publicKeyPem, false);
    const Context context(EVP_MD_CTX_new());
    if (!signed_ || !signature || signature->size() != 64 || !key || !context)
        return std::unexpected(UpdateError::unreadableSignature());
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->constData()),
                         size_t(signature->size()),
                         reinterpret_cast<const unsigned char*>(signed_->constData()),
                         size_t(signed_->size())) != 1)
        return std::unexpected(UpdateError::notSigned());
    // The signature covers the manifest; the bundle must still be what it lists.
    const std::expected<QByteArray, UpdateError> actual = manifest(bundle, identifier, team);
    if (!actual || *actual != *signed_)
        return std::unexpected(UpdateError::notSigned());
    return {};
}
