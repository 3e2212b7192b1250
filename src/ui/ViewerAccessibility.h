#pragma once

// What assistive technology reads from the viewer's own painted controls: the
// looks' selected state, the adjustments' shown values and the crop frame's
// corners, which the generic widget interfaces cannot tell.
class ViewerAccessibility {
public:
    // Adds the viewer's accessibility interfaces to Qt's; calling it again does nothing.
    static void install();
};
