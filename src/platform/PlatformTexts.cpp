#include "PlatformTexts.h"

using namespace Qt::StringLiterals;

namespace PlatformTexts {

QString keys(const QKeySequence& sequence) {
    return sequence.toString(QKeySequence::NativeText);
}

#ifdef Q_OS_MACOS

QString revealFile() {
    return u"Show in Finder"_s;
}

QString secondScreenSection() {
    return u"AirPlay"_s;
}

QString secondScreenHint() {
    return u"First connect the TV: Control Center \u203A Screen Mirroring \u203A your TV \u203A Use As Separate Display"_s;
}

QString tvButtonHelp() {
    return u"Cast or AirPlay to a TV"_s;
}

QString presentingHelp() {
    return u"Showing on the AirPlay display"_s;
}

QString updateLocationHint() {
    return u"Move Zorva Viewer to the Applications folder so it can update itself."_s;
}

#else

QString revealFile() {
    return u"Show in Folder"_s;
}

QString secondScreenSection() {
    return u"Second Screen"_s;
}

QString secondScreenHint() {
    return u"First connect the TV or projector as a second display in your system's display settings"_s;
}

QString tvButtonHelp() {
    return u"Cast to a TV or show on a second screen"_s;
}

QString presentingHelp() {
    return u"Showing on the second screen"_s;
}

QString updateLocationHint() {
    return u"Install Zorva Viewer in your home folder so it can update itself."_s;
}

#endif

} // namespace PlatformTexts
