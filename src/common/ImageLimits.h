#pragma once

#include <QSize>

#include <cstdint>

namespace ImageLimits {

// The largest bitmap Pim decodes, allocates or produces: 2^28 pixels (1 GiB at 4 bytes a pixel), which is
// a 16384 × 16384 picture or five 4K screens side by side with room to spare.
inline constexpr std::int64_t maxPixels = std::int64_t(1) << 28;

inline bool allows(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= maxPixels && height <= maxPixels && width * height <= maxPixels;
}

inline bool allows(QSize size) { return allows(size.width(), size.height()); }

} // namespace ImageLimits
