// The window's template: its size and its controls' places in dialog units,
// and their conversion to pixels with the template's font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>

namespace tamboro {

struct TemplateControl {
    int id;
    QRect units;  // x, y, width, height in dialog units
};

// The controls in tab order: path box, list, Search, Stop.
extern const std::array<TemplateControl, 4> kTemplateControls;
// The client area of the window, in dialog units.
inline constexpr QSize kTemplateSize(398, 299);
// The least the window leaves the path box in width and the list in height
// (header and a few rows, with the find bar and the row-limit note shown),
// in dialog units: the window is made no smaller.
inline constexpr QSize kMinimumPathAndListUnits(100, 40);

// The template's font, "ＭＳ Ｐゴシック" 9 pt. Where that face is missing,
// fontconfig falls back through the families listed after it (the free
// metric-compatible IPA P Gothic first), so Japanese text never shows as
// boxes when a Japanese font is installed.
QFont TemplateFont();

// Dialog base units of a font: the average width of "A".."Z" "a".."z" and
// the font's character (em) height, in pixels.
struct DialogBaseUnits {
    int x;
    int y;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Horizontal units are a quarter of the base width, vertical ones an eighth
// of the base height, rounded to the nearest pixel.
QRect UnitsToPixels(const QRect& units, DialogBaseUnits base);
QSize UnitsToPixels(const QSize& units, DialogBaseUnits base);
// The place of the template's control `id` in pixels.
QRect TemplatePlace(int id, DialogBaseUnits base);

}  // namespace tamboro
