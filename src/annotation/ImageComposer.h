// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"
#include "annotation/Decoration.h"
#include "annotation/Geometry.h"

#include <QImage>
#include <QList>

#include <optional>

class QPainter;

// The final picture: background, shadow, the image clipped to its rounded outline, then the annotations.
namespace ImageComposer {

inline constexpr double shadowOffset = 6; // points, straight down
inline constexpr double shadowBlur = 18;  // points
inline constexpr double shadowAlpha = 0.45;

struct Scene {
    QImage baseImage;
    const QList<Annotation> *annotations = nullptr;
    double scale = 1;
    Decoration decoration;
    // Painted for the screen rather than exported: a magnified image shows its pixels, and the shadow is
    // drawn from a picture of at most two pixels a point (a blur has no detail to lose), so a canvas zoomed
    // far in does not build a shadow the size of the zoomed picture.
    bool onScreen = false;

    QSizeF imagePointSize() const { return Geometry::pointSize(baseImage.size(), scale); }
    QSizeF paddedPointSize() const { return Geometry::padded(imagePointSize(), decoration.padding); }
};

// The corner radius actually used: at most half the shorter side.
double clampedCornerRadius(double cornerRadius, QSizeF imagePointSize);

// Paints the composition into a painter whose user space is picture points, y down, origin at the
// picture's top-left corner (the canvas and the export both call this). The painter's transform and
// device pixel ratio give the pixel density.
void paint(QPainter &painter, const Scene &scene);
// The two halves of paint: background, shadow and clipped image; then the annotations, unclipped, in image
// space.
void paintDecoratedImage(QPainter &painter, const Scene &scene);
void paintAnnotations(QPainter &painter, const Scene &scene);

// The composed bitmap at the base image's pixel density: round(s × (W + 2p)) × round(s × (H + 2p))
// pixels, premultiplied ARGB. Nothing when that bitmap cannot be made.
std::optional<QImage> compose(const QImage &baseImage, const QList<Annotation> &annotations, double scale,
                              const Decoration &decoration);

// A Gaussian-like blur of an alpha mask (three box passes), in place; linear in the mask's size.
void blurAlpha(QImage &mask, double sigma);

} // namespace ImageComposer
