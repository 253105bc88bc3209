#pragma once
// The picture on the main window's face, 592 by 587 pixels, drawn by the program.
#include <QPixmap>

namespace vendra {

constexpr int kFaceWidth = 592;
constexpr int kFaceHeight = 587;

QPixmap DrawFace();

}  // namespace vendra
