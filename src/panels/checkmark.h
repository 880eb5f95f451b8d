#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The check mark that marks the chosen one of a list of choices in the settings: a semibold
// check filling `box`, a short stroke down to the left and a long one up to the right.
void paintCheckmark(QPainter &painter, const QRectF &box, const QColor &color);
