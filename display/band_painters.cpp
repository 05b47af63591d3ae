// Background shading. PLACEHOLDER until the display work lands: paints nothing.
#include "display/band_painters.h"

void paint_gradient(HWND, HDC) {}
void paint_dark_shading(HWND, HDC) {}
void paint_light_shading(HWND, HDC) {}
