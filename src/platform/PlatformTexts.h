#pragma once

#include <QKeySequence>
#include <QString>

// The few texts that name things of the desktop the viewer runs on: key names,
// the file manager and how a TV becomes a second screen.
namespace PlatformTexts {

// A shortcut as the desktop writes it ("Ctrl+Backspace").
QString keys(const QKeySequence& sequence);
// The toast button that shows a saved file in the file manager.
QString revealFile();
// The title of the TV menu's second-screen section.
QString secondScreenSection();
// What the TV menu says when there is no second screen.
QString secondScreenHint();
// The TV button's tooltip while nothing is cast or shown, and while the photo
// is shown on the second screen.
QString tvButtonHelp();
QString presentingHelp();
// Why the viewer cannot update itself where it is installed.
QString updateLocationHint();

} // namespace PlatformTexts
