// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

#include <cstdint>

namespace ImageLimits {

// The largest bitmap Pim decodes, allocates or produces: 2^28 pixels (1 GiB at 4 bytes a pixel), which is
// a 16384 × 16384 picture or five 4K screens side by side with room to spare.
inline constexpr std::int64_t maxPixels = std::int64_t(1) << 28;

inline bool allows(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= maxPixels && height <= maxPixels &&
           width * height <= maxPixels;
}

inline bool allows(QSize size)
{
    return allows(size.width(), size.height());
}

} // namespace ImageLimits

#include <QImage>

#include <sys/mman.h>

namespace ImageLimits {

// A bitmap of the size and format within the limit, uninitialised; a null image otherwise.
inline QImage plainImage(QSize size, QImage::Format format)
{
    return allows(size) ? QImage(size, format) : QImage();
}

// A new, uninitialised bitmap whose memory the kernel may back with huge pages: a 4K picture then takes a
// few dozen page faults instead of thousands, which on a virtual machine is the larger part of making it.
// A null image when the size is over the limit or the memory cannot be had.
inline QImage newImage(QSize size, QImage::Format format = QImage::Format_ARGB32_Premultiplied)
{
    if (!allows(size))
        return QImage();
    QImage image(size, format);
    if (image.isNull())
        return image;
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(image.bits());
    const std::uintptr_t start = (begin + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (begin + std::uintptr_t(image.sizeInBytes())) & ~(huge - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    return image;
}

} // namespace ImageLimits
