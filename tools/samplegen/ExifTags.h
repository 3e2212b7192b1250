#pragma once

#include "CaptureInfo.h"
#include "TiffBuilder.h"

// The camera's own tags as TIFF directories, shared by the RAW writers: make,
// model, date and orientation in the main directory, exposure in the EXIF
// directory, position in the GPS directory.
class ExifTags {
public:
    static void addCameraTags(TiffBuilder::Ifd& ifd, const CaptureInfo& info);
    static TiffBuilder::Ifd exifIfd(const CaptureInfo& info);
    static TiffBuilder::Ifd gpsIfd(const CaptureInfo::Gps& gps);
};
