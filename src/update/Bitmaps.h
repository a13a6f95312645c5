#pragma once

#include <QPixmap>

// Bitmap resource ids of the update pages.
inline constexpr int kBitmapRoadMap = 150;
inline constexpr int kBitmapMicrophone = 151;
inline constexpr int kBitmapUnitScreen = 152;
inline constexpr int kBitmapCircuitBoard = 153;
inline constexpr int kBitmapCurrent = 157;     // a green square, 32 x 32
inline constexpr int kBitmapNeedsUpdate = 158; // an orange square, 32 x 32
inline constexpr int kBitmapSplash = 134;      // the splash screen, magenta around its shape

// The bitmap with resource id, from the program's resources; a null pixmap for an id it does
// not have. User-interface thread only.
QPixmap LoadBitmap(int id);
