#include "Look.h"

using namespace Qt::StringLiterals;

namespace {
struct LookNames {
    QStringView rawValue;
    QStringView title;
};
constexpr LookNames kNames[] = {
    {u"natural", u"Natural"}, {u"mono", u"Mono"}, {u"noir", u"Noir"}, {u"chrome", u"Chrome"},
    {u"vivid", u"Vivid"},     {u"fade", u"Fade"}, {u"warm", u"Warm"}, {u"cool", u"Cool"},
};
} // namespace

QString rawValue(Look look) {
    return kNames[static_cast<int>(look)].rawValue.toString();
}

std::optional<Look> lookFromRawValue(QStringView rawValue) {
    for (Look look : kLooks) {
        if (kNames[static_cast<int>(look)].rawValue == rawValue)
            return look;
    }
    return std::nullopt;
}

QString title(Look look) {
    return kNames[static_cast<int>(look)].title.toString();
}

QChar shortcutDigit(Look look) {
    return QChar(u'1' + static_cast<int>(look));
}

Image apply(Look look, const Image& image) {
    // Every name and parameter here is one NamedFilter knows, so a filter
    // cannot fail; `value_or` keeps the image if one ever did.
    const auto filter = [&](QStringView name, const QVariantMap& parameters = {}) {
        return image.applyingFilter(name, parameters).value_or(image);
    };
    switch (look) {
    case Look::natural:
        return image;
    case Look::mono:
        return filter(u"CIPhotoEffectMono");
    case Look::noir:
        return filter(u"CIPhotoEffectNoir");
    case Look::chrome:
        return filter(u"CIPhotoEffectChrome");
    case Look::vivid: {
        const Image vibrant = filter(u"CIVibrance", {{u"inputAmount"_s, 0.6}});
        return vibrant.applyingFilter(u"CIColorControls", {{u"inputContrast"_s, 1.08}}).value_or(vibrant);
    }
    case Look::fade:
        return filter(u"CIPhotoEffectFade");
    case Look::warm:
        return filter(u"CIPhotoEffectTransfer");
    case Look::cool:
        return filter(u"CIPhotoEffectProcess");
    }
    return image;
}
