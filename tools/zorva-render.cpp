// zorva-render: runs one renderer operation on a file and writes the result.
//   zorva-render base|full|thumb|tv FILE OUT.png [edit options]
//   zorva-render export FILE FOLDER [edit options]
// Edit options: --raw (develop FILE as RAW), --look NAME, --exposure EV,
// --contrast X, --saturation X, --warmth X, --crop x,y,w,h (unit rectangle).
// Prints the output size and the time taken; an unreadable file prints the
// renderer's error text and exits with status 1.

#include "card/Shot.h"
#include "imaging/edit/Look.h"
#include "imaging/render/ImageRenderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int usage() {
    QTextStream(stderr) << "usage: zorva-render base|full|thumb|tv FILE OUT.png [options]\n"
                           "       zorva-render export FILE FOLDER [options]\n"
                           "options: --raw --look NAME --exposure EV --contrast X --saturation X --warmth X "
                           "--crop x,y,w,h\n";
    return 2;
}

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

struct Options {
    ShotFormat format = ShotFormat::jpeg;
    Edit edit;
};

// Nothing when an option is unknown or its value malformed.
std::optional<Options> parseOptions(const QStringList& args) {
    Options options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& name = args[i];
        if (name == u"--raw") {
            options.format = ShotFormat::raw;
            continue;
        }
        if (i + 1 >= args.size())
            return std::nullopt;
        const QString value = args[++i];
        if (name == u"--look") {
            const auto look = lookFromRawValue(value);
            if (!look)
                return std::nullopt;
            options.edit.look = *look;
        } else if (name == u"--crop") {
            const QStringList parts = value.split(u',');
            if (parts.size() != 4)
                return std::nullopt;
            double v[4];
            for (int k = 0; k < 4; ++k) {
                const auto n = number(parts[k]);
                if (!n)
                    return std::nullopt;
                v[k] = *n;
            }
            options.edit.crop = UnitRect{v[0], v[1], v[2], v[3]};
        } else {
            const auto n = number(value);
            if (!n)
                return std::nullopt;
            if (name == u"--exposure")
                options.edit.adjustments.exposure = *n;
            else if (name == u"--contrast")
                options.edit.adjustments.contrast = *n;
            else if (name == u"--saturation")
                options.edit.adjustments.saturation = *n;
            else if (name == u"--warmth")
                options.edit.adjustments.warmth = *n;
            else
                return std::nullopt;
        }
    }
    return options;
}

int fail(const QString& message) {
    QTextStream(stderr) << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return usage();
    const QString operation = args[0];
    const QString file = QFileInfo(args[1]).absoluteFilePath();
    const QString out = args[2];
    const auto options = parseOptions(args.mid(3));
    if (!options)
        return usage();

    ImageRenderer renderer;
    QElapsedTimer clock;
    clock.start();
    QString produced;
    if (operation == u"export") {
        Shot shot;
        shot.name = QFileInfo(file).completeBaseName();
        shot.files =
            options->format == ShotFormat::raw ? ShotFiles::rawOnly(file) : ShotFiles::jpegOnly(file);
        const auto saved = renderer.exportCopy(shot, options->format, options->edit, out);
        if (!saved)
            return fail(saved.error().description());
        const qint64 ms = clock.elapsed();
        const QImage written(*saved);
        QTextStream(stdout) << *saved << ": " << written.width() << " x " << written.height() << ", " << ms
                            << " ms\n";
        return 0;
    }

    std::expected<QImage, RenderError> image = std::unexpected(RenderError::unreadable(file));
    if (operation == u"base") {
        image = renderer.render(file, options->format, options->edit);
    } else if (operation == u"full") {
        image = renderer.fullResolution(file, options->format, options->edit);
    } else if (operation == u"thumb") {
        if (auto thumbnail = renderer.thumbnail(file))
            image = *thumbnail;
    } else if (operation == u"tv") {
        const auto screen = renderer.render(file, options->format, options->edit);
        if (!screen)
            return fail(screen.error().description());
        const auto jpeg = renderer.jpegData(*screen, 1920, 0.88);
        if (!jpeg)
            return fail(u"Can't encode the TV picture."_s);
        const qint64 ms = clock.elapsed();
        QFile output(out);
        if (!output.open(QIODevice::WriteOnly) || output.write(*jpeg) != jpeg->size())
            return fail(u"Can't write "_s + out);
        const QImage written = QImage::fromData(*jpeg);
        QTextStream(stdout) << out << ": " << written.width() << " x " << written.height() << ", "
                            << jpeg->size() << " bytes, " << ms << " ms\n";
        return 0;
    } else {
        return usage();
    }
    if (!image)
        return fail(image.error().description());
    const qint64 ms = clock.elapsed();
    if (!image->save(out))
        return fail(u"Can't write "_s + out);
    QTextStream(stdout) << out << ": " << image->width() << " x " << image->height() << ", " << ms << " ms\n";
    return 0;
}
