#pragma once

#include <QRectF>
#include <vector>

// Squarified treemap layout: splits `area` into one rectangle per size, each
// with an area proportional to its size, kept as close to square as the
// sizes allow. The result is in the order of `sizes`; a size of 0 or less
// gets an empty rectangle. No widgets, so it can be tested and timed alone.
std::vector<QRectF> SquarifiedLayout(const std::vector<double>& sizes, const QRectF& area);
