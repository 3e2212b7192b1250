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
