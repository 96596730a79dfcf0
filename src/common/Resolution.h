// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

// Files carry a picture's scale (pixels per point) as its resolution: 72 × scale dots per inch.
namespace Resolution {

inline double dpi(double scale)
{
    return 72.0 * scale;
}

inline int dotsPerMeter(double scale)
{
    return int(std::lround(dpi(scale) / 0.0254));
}

} // namespace Resolution
