#pragma once
// Tool bar pictures of the program's own, drawn here at 16 x 16 (and 32 x 32
// for dense screens): those the desktop's icon theme has no fitting icon for,
// and those whose theme icon is a pale grey that reads as disabled.
#include <QIcon>

QIcon NumbersIcon();          // a list of figure rows: "Show numbers"
QIcon ChartIcon();            // horizontal bars: "Show chart"
QIcon DetailAndTotalsIcon();  // a list above a totals strip: "Show detail and totals"
QIcon ParentFolderIcon();     // a folder with an arrow rising out of it: "Up one level"
QIcon RefreshIcon();          // two arrows turning round: "Refresh"
