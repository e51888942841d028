#pragma once
// The window's fonts, by pixel size so that they fit the fixed pixel layout whatever the screen's
// resolution. Debian's nearest equivalents stand in where the original faces are missing:
// DejaVu Sans for Tahoma, Liberation Sans (metric-compatible) for Arial.

#include <QFont>

namespace tovanel {

// Tahoma 8 pt: 11 pixels.
QFont WindowDefaultFont();
// Bold Arial 8 pt, for the group titles and the status line.
QFont BoldArialFont();
// Bold Arial 10 pt, character height 13 pixels, for the progress log.
QFont LogFont();

}  // namespace tovanel
