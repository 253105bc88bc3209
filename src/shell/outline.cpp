#include "shell/outline.h"

#include "platform/numbers.h"

namespace vendra {

namespace {

constexpr int kPoints[48][2] = {
    {58, 29},   {548, 29},  {549, 30},  {551, 30},  {552, 31},  {553, 31},  {555, 33},  {556, 33},
    {559, 36},  {559, 37},  {561, 39},  {562, 42},  {563, 45},  {563, 552}, {562, 553}, {562, 555},
    {561, 556}, {561, 557}, {559, 559}, {559, 560}, {555, 564}, {554, 564}, {552, 566}, {549, 567},
    {546, 568}, {59, 568},  {58, 567},  {56, 567},  {55, 566},  {54, 566},  {52, 564},  {51, 564},
    {47, 560},  {47, 559},  {45, 557},  {44, 554},  {43, 551},  {43, 44},   {44, 43},   {44, 41},
    {45, 40},   {45, 39},   {47, 37},   {47, 36},   {50, 33},   {51, 33},   {53, 31},   {56, 30},
};

}  // namespace

QPolygon OutlinePolygon(double xScale, double yScale, int xOffset, int yOffset,
                        double twipsPerPixelX, double twipsPerPixelY) {
    QPolygon polygon;
    polygon.reserve(48);
    for (const auto& p : kPoints) {
        const double x = p[0] * xScale * 15 / twipsPerPixelX + xOffset;
        const double y = p[1] * yScale * 15 / twipsPerPixelY + yOffset;
        polygon << QPoint(static_cast<int>(RoundHalfEven(x)), static_cast<int>(RoundHalfEven(y)));
    }
    return polygon;
}

QRegion OutlineRegion(double xScale, double yScale, int xOffset, int yOffset, double twipsPerPixelX,
                      double twipsPerPixelY) {
    return QRegion(OutlinePolygon(xScale, yScale, xOffset, yOffset, twipsPerPixelX, twipsPerPixelY),
                   Qt::OddEvenFill);
}

}  // namespace vendra
