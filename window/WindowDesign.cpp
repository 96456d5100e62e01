#include "WindowDesign.h"

namespace quorvel::design {

int Pixels(int twips, int dpi) {
    // twips * dpi / 1440, rounded half away from zero, in integers so no platform differs.
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = 720;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / 1440 : -((-scaled + half) / 1440));
}

PixelRect Pixels(const TwipsRect& rect, int dpi) {
    return {Pixels(rect.left, dpi), Pixels(rect.top, dpi), Pixels(rect.width, dpi),
            Pixels(rect.height, dpi)};
}

} // namespace quorvel::design
