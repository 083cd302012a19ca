#pragma once
// Tool bar pictures that the desktop's icon theme has no fitting icon for,
// drawn here at 16 x 16 (and 32 x 32 for dense screens).
#include <QIcon>

QIcon NumbersIcon();          // a list of figure rows: "Show numbers"
QIcon ChartIcon();            // horizontal bars: "Show chart"
QIcon DetailAndTotalsIcon();  // a list above a totals strip: "Show detail and totals"
