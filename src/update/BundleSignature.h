#pragma once

#include "UpdateError.h"

#include <QByteArray>
#include <QString>

#include <expected>

// The developer's signature of a bundle: an Ed25519 signature over a manifest
// that lists every file of the bundle (relative path, mode, SHA-256; symlinks
// with their target) in byte order of the path, headed by the bundle
// identifier and the team identifier. Kept in the bundle's signature folder,
// which the manifest leaves out. Signer and verifier build the manifest with
// the same function, so they cannot disagree on its form.
class BundleSignature {
public:
    // The manifest of the bundle as it is on disk. Fails (not signed) on a
    // device, pipe or socket, a name with a line break, a symlink that leaves
    // the bundle, or a file that cannot be read.
    static std::expected<QByteArray, UpdateError> manifest(const QString& bundle, const QString& identifier,
                                                           const QString& team);
    // Writes the manifest and its signature made with `privateKeyPem`.
    static std::expected<void, UpdateError> sign(const QString& bundle, const QByteArray& privateKeyPem,
                                                 const QString& identifier, const QString& team);
    // Checks that the bundle is exactly what `publicKeyPem`'s owner signed for
    // this identifier and team.
    static std::expected<void, UpdateError> verify(const QString& bundle, const QByteArray& publicKeyPem,
                                                   const QString& identifier, const QString& team);

    static constexpr const char* kFolder = "signature";
    static constexpr const char* kManifestFile = "signature/manifest";
    static constexpr const char* kSignatureFile = "signature/manifest.sig";
};
