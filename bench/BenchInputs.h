#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Camera-like input files for the imaging benchmarks, made by the sample
// generator the first time a benchmark asks for them and kept in one
// temporary folder for the rest of the process: a landscape with fine
// texture and sensor noise, as a camera JPEG (quality 92, 4:2:0, EXIF with a
// thumbnail) or as an RGGB Bayer DNG. Making a 24-megapixel file takes
// seconds, so every benchmark of a run shares it. Thread-safe.
class BenchInputs {
public:
    // The landscape the files show, sRGB.
    static QImage scene(QSize size);
    // Paths of the files; an empty path when one could not be written.
    static QString cameraJpeg(QSize size);
    static QString cameraDng(QSize size);
    // A camera JPEG whose EXIF block has no thumbnail.
    static QString plainJpeg(QSize size);

    // The screen image's longest side, and the 24 and 12 megapixel inputs;
    // smoke runs keep the proportions at a tenth of the size.
    static int screenSide();
    static QSize size24();
    static QSize size12();

private:
    // A camera JPEG at quality 92, 4:2:0, with or without an EXIF thumbnail.
    static QString jpeg(const char* kind, QSize size, bool thumbnail);
};
