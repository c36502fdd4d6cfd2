#pragma once

class QPainter;

namespace trovalo {

// The program's picture, a USB drive with an arrow going into it, drawn
// rather than shipped as an image file so it scales to any size. Paints in
// a 64 x 64 square at the painter's origin (scale the painter for other
// sizes). Frame 0 is the drive at rest; in frames 1 to 7 the arrow travels
// down into the drive and the drive's light blinks (the tray animation).
void PaintDrivePicture(QPainter &painter, int frame = 0);

} // namespace trovalo
