#include "WindowFonts.h"

#include <QStringList>

namespace tovanel {

namespace {

QFont FontOf(const QStringList& families, int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace

QFont WindowDefaultFont() {
    return FontOf({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")}, 11, false);
}

QFont BoldArialFont() {
    return FontOf({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 11, true);
}

QFont LogFont() {
    return FontOf({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")}, 13, true);
}

}  // namespace tovanel
