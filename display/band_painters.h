// Background shading, one solid brush per band, created and deleted per band.
//   paint_gradient       - main window: 128 blue bands, 255 down to 1; the rest stays black
//   paint_dark_shading   - progress window: 64 grey bands from 200 down by 3
//   paint_light_shading  - information windows: 64 grey bands from 255 down by 4
#ifndef SLIVERDISK_BAND_PAINTERS_H
#define SLIVERDISK_BAND_PAINTERS_H

#include <windows.h>

void paint_gradient(HWND window, HDC dc);
void paint_dark_shading(HWND window, HDC dc);
void paint_light_shading(HWND window, HDC dc);

#endif
