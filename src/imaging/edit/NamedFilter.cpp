#include "NamedFilter.h"

#include "imaging/color/ColorMath.h"

#include <QPointF>
#include <QVector2D>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

using Domain = ColorChain::Domain;

std::optional<double> number(const QVariantMap& p, const QString& key, double fallback) {
    const auto it = p.constFind(key);
    if (it == p.constEnd())
        return fallback;
    bool ok = false;
    const double v = it->toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<QPointF> vector2(const QVariantMap& p, const QString& key, QPointF fallback) {
    const auto it = p.constFind(key);
    if (it == p.constEnd())
        return fallback;
    if (it->canConvert<QPointF>() && it->typeId() == QMetaType::QPointF)
        return it->toPointF();
    if (it->typeId() == QMetaType::QVector2D) {
        const QVector2D v = it->value<QVector2D>();
        return QPointF(v.x(), v.y());
    }
    const QVariantList list = it->toList();
    if (list.size() == 2) {
        bool okX = false, okY = false;
        const double x = list[0].toDouble(&okX), y = list[1].toDouble(&okY);
        if (okX && okY)
            return QPointF(x, y);
    }
    return std::nullopt;
}

Matrix3 saturation(double s) {
    const auto y = ColorMath::displayP3Luma();
    const Matrix3 grey = Matrix3::rowsOf(y);
    Matrix3 m;
    for (size_t i = 0; i < 9; ++i)
        m.m[i] = grey.m[i] + s * (Matrix3::identity().m[i] - grey.m[i]);
    return m;
}

// An S-curve through (0, 0), (0.5, 0.5) and (1, 1): a logistic of
// steepness k, rescaled to the unit square. Its slope at the middle is
// k / 4 / (logistic(k / 2) - logistic(-k / 2)).
double sCurve(double e, double k) {
    const auto logistic = [](double t) { return 1 / (1 + std::exp(-t)); };
    const double lo = logistic(-k / 2), hi = logistic(k / 2);
    return (logistic(k * (e - 0.5)) - lo) / (hi - lo);
}

ColorChain photoEffect(QStringView name) {
    ColorChain c;
    if (name == u"CIPhotoEffectMono") {
        c.appendAffine(Domain::linear, Matrix3::rowsOf(ColorMath::displayP3Luma()));
    } else if (name == u"CIPhotoEffectNoir") {
        c.appendAffine(Domain::linear, Matrix3::rowsOf(ColorMath::displayP3Luma()));
        c.appendCurve(Domain::encoded, [](double e) { return sCurve(e, 6); });
    } else if (name == u"CIPhotoEffectChrome") {
        c.appendAffine(Domain::linear, saturation(1.2));
        c.appendCurve(Domain::encoded, [](double e) { return sCurve(e, 3); });
    } else if (name == u"CIPhotoEffectFade") {
        c.appendAffine(Domain::linear, saturation(0.7));
        c.appendAffine(Domain::encoded, Matrix3::diagonal(0.82, 0.82, 0.82), {0.10, 0.10, 0.10});
    } else if (name == u"CIPhotoEffectTransfer") {
        c.appendAffine(Domain::linear, Matrix3::diagonal(1.08, 1.0, 0.82) * saturation(0.85));
        c.appendAffine(Domain::encoded, Matrix3::diagonal(0.93, 0.93, 0.93), {0.04, 0.04, 0.04});
    } else if (name == u"CIPhotoEffectProcess") {
        c.appendAffine(Domain::linear, Matrix3::diagonal(0.90, 1.02, 1.12));
        c.appendCurves(
            Domain::encoded, [](double e) { return sCurve(e, 4); }, [](double e) { return e; },
            [](double e) { return 0.06 + 0.94 * e; });
    }
    return c;
}

} // namespace

std::optional<NamedFilter::Effect> NamedFilter::make(QStringView name, const QVariantMap& p) {
    Effect effect;
    if (name == u"CIExposureAdjust") {
        const auto ev = number(p, u"inputEV"_s, 0);
        if (!ev)
            return std::nullopt;
        const double gain = std::exp2(*ev);
        effect.chain.appendAffine(Domain::linear, Matrix3::diagonal(gain, gain, gain));
        return effect;
    }
    if (name == u"CIColorControls") {
        const auto s = number(p, u"inputSaturation"_s, 1);
        const auto b = number(p, u"inputBrightness"_s, 0);
        const auto c = number(p, u"inputContrast"_s, 1);
        if (!s || !b || !c)
            return std::nullopt;
        effect.chain.appendAffine(Domain::linear, saturation(*s));
        const double offset = (*b - 0.5) * *c + 0.5;
        effect.chain.appendAffine(Domain::encoded, Matrix3::diagonal(*c, *c, *c), {offset, offset, offset});
        return effect;
    }
    if (name == u"CIVibrance") {
        const auto amount = number(p, u"inputAmount"_s, 0);
        if (!amount)
            return std::nullopt;
        effect.chain.appendVibrance(*amount, ColorMath::displayP3Luma());
        return effect;
    }
    if (name == u"CITemperatureAndTint") {
        const auto neutral = vector2(p, u"inputNeutral"_s, {6500, 0});
        const auto target = vector2(p, u"inputTargetNeutral"_s, {6500, 0});
        if (!neutral || !target)
            return std::nullopt;
        if (*neutral != *target) {
            const auto from = ColorMath::whiteOfTemperature(neutral->x(), neutral->y());
            const auto to = ColorMath::whiteOfTemperature(target->x(), target->y());
            effect.chain.appendAffine(Domain::linear, ColorMath::adaptation(from, to));
        }
        return effect;
    }
    if (name == u"CILanczosScaleTransform") {
        const auto scale = number(p, u"inputScale"_s, 1);
        const auto aspect = number(p, u"inputAspectRatio"_s, 1);
        if (!scale || !aspect || *scale <= 0 || *aspect <= 0)
            return std::nullopt;
        effect.scaleX = *scale * *aspect;
        effect.scaleY = *scale;
        return effect;
    }
    if (name.startsWith(u"CIPhotoEffect")) {
        ColorChain chain = photoEffect(name);
        if (chain.isIdentity())
            return std::nullopt;
        effect.chain = std::move(chain);
        return effect;
    }
    return std::nullopt;
}
