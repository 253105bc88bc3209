#pragma once
// The main window's rounded outline: 48 points drawn at 15 twips per pixel, scaled to the
// screen and joined into a polygon that cuts the frameless window to shape.
#include <QPolygon>
#include <QRegion>

namespace vendra {

// The 48 points scaled by (scale x 15 / twips per pixel) and offset; halves round to even.
QPolygon OutlinePolygon(double xScale, double yScale, int xOffset, int yOffset,
                        double twipsPerPixelX, double twipsPerPixelY);

// The polygon as a window-shape region (alternate fill rule).
QRegion OutlineRegion(double xScale, double yScale, int xOffset, int yOffset, double twipsPerPixelX,
                      double twipsPerPixelY);

}  // namespace vendra
