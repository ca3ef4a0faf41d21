#include "dialog/DialogTemplate.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include "res/resource.h"

namespace tamboro {

const std::array<TemplateControl, 4> kTemplateControls = {{
    {IDC_PATH, QRect(0, 285, 289, 14)},
    {IDC_LIST, QRect(0, 0, 398, 283)},
    {IDC_SEARCH, QRect(293, 285, 50, 14)},
    {IDC_STOP, QRect(347, 285, 50, 14)},
}};

QFont TemplateFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                      QStringLiteral("VL PGothic")});
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Vertically the character height is the font's em size in pixels
    // (9 pt at 96 dpi: 12), not its line height: faces such as IPA P Gothic
    // or Nanum Gothic add ascent and descent beyond the em, and a unit taken
    // from those would make a 14-unit control taller than the 21 pixels the
    // layout leaves it at the bottom of the window.
    return DialogBaseUnits{(width + 26) / 52, QFontInfo(font).pixelSize()};
}

namespace {

int Scale(int units, int base, int divisor)
{
    // Rounded to the nearest pixel, as dialog managers do.
    const long long scaled = static_cast<long long>(units) * base;
    return static_cast<int>(scaled >= 0 ? (scaled + divisor / 2) / divisor : -((-scaled + divisor / 2) / divisor));
}

}  // namespace

QRect UnitsToPixels(const QRect& units, DialogBaseUnits base)
{
    const int left = Scale(units.x(), base.x, 4);
    const int top = Scale(units.y(), base.y, 8);
    const int right = Scale(units.x() + units.width(), base.x, 4);
    const int bottom = Scale(units.y() + units.height(), base.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize UnitsToPixels(const QSize& units, DialogBaseUnits base)
{
    return QSize(Scale(units.width(), base.x, 4), Scale(units.height(), base.y, 8));
}

QRect TemplatePlace(int id, DialogBaseUnits base)
{
    for (const TemplateControl& item : kTemplateControls) {
        if (item.id == id)
            return UnitsToPixels(item.units, base);
    }
    return QRect();
}

}  // namespace tamboro
