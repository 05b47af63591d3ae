// Background shading, one solid brush per band, created and deleted per band.
//   paint_gradient, paint_dark_shading, paint_light_shading (see band_painters.h)
#include "display/band_painters.h"

namespace {

constexpr int kGradientBands = 128;
constexpr int kShadingBands = 64;

// A brush that cannot be created leaves its band unpainted; nothing else depends on it.
void fill_band(HDC dc, const RECT& band, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush)
        return;
    FillRect(dc, &band, brush);
    DeleteObject(brush);
}

// 64 grey bands always reach the bottom: the band height is rounded up by one row,
// so the last bands may lie below the client area.
void paint_grey_bands(HWND window, HDC dc, int first_level, int fall_per_band)
{
    RECT client;
    GetClientRect(window, &client);
    const int band_height = (client.bottom - client.top) / kShadingBands + 1;
    RECT band = {client.left, client.top, client.right, client.top + band_height};
    for (int i = 0; i < kShadingBands; ++i) {
        const int level = first_level - fall_per_band * i;
        fill_band(dc, band, RGB(level, level, level));
        OffsetRect(&band, 0, band_height);
    }
}

} // namespace

void paint_gradient(HWND window, HDC dc)
{
    RECT client;
    GetClientRect(window, &client);
    // Rows below 128 bands keep the class background; under 128 rows nothing is painted.
    const int band_height = (client.bottom - client.top) / kGradientBands;
    RECT band = {client.left, client.top, client.right, client.top + band_height};
    for (int i = 0; i < kGradientBands; ++i) {
        fill_band(dc, band, RGB(0, 0, 255 - 2 * i));
        OffsetRect(&band, 0, band_height);
    }
}

void paint_dark_shading(HWND window, HDC dc)
{
    paint_grey_bands(window, dc, 200, 3);
}

void paint_light_shading(HWND window, HDC dc)
{
    paint_grey_bands(window, dc, 255, 4);
}
