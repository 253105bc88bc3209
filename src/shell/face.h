#pragma once
// The picture on the main window's face, 592 by 587 pixels at 15 twips per pixel, drawn by the
// program at any scale.
#include <QPixmap>

namespace vendra {

constexpr int kFaceWidth = 592;
constexpr int kFaceHeight = 587;

// The face at `scale` times its size (size.width() by size.height() pixels), sharp on a screen
// of `devicePixelRatio` device pixels per pixel.
QPixmap DrawFace(QSize size, double scale, qreal devicePixelRatio = 1.0);

}  // namespace vendra
