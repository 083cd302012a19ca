#pragma once
// The program's own pictures, drawn here so that every size is sharp: the
// icon (a disk with usage bars) and the name picture of the about box.
#include <QImage>
#include <QPixmap>

QImage ProgramIconImage(int size);  // square, transparent around the shape
QPixmap ProgramIcon(int size);
QPixmap ProgramNameImage();  // 244 x 57, transparent
// The file specification button's two pictures, 16 x 17: a funnel, with a
// tick while the filter is on.
QPixmap FileSelectOnImage();
QPixmap FileSelectOffImage();
