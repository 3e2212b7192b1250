#pragma once

#include "ShotFormat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The files of one shot: a JPEG, a RAW, or both. Paths are absolute.
class ShotFiles {
public:
    enum class Case { jpegOnly, rawOnly, both };

    ShotFiles() = default;
    static ShotFiles jpegOnly(QString jpeg) { return ShotFiles(Case::jpegOnly, std::move(jpeg), {}); }
    static ShotFiles rawOnly(QString raw) { return ShotFiles(Case::rawOnly, {}, std::move(raw)); }
    static ShotFiles both(QString jpeg, QString raw) {
        return ShotFiles(Case::both, std::move(jpeg), std::move(raw));
    }

    Case kind() const { return case_; }
    std::optional<QString> url(ShotFormat format) const;
    // Every file, the JPEG first: the order in which files are trashed and restored.
    QStringList all() const;
    // The formats present, in declaration order.
    QList<ShotFormat> formats() const;

    bool operator==(const ShotFiles&) const = default;

private:
    ShotFiles(Case c, QString jpeg, QString raw)
        : case_(c)
        , jpeg_(std::move(jpeg))
        , raw_(std::move(raw)) {}

    Case case_ = Case::jpegOnly;
    QString jpeg_;
    QString raw_;
};

size_t qHash(const ShotFiles& files, size_t seed = 0);
