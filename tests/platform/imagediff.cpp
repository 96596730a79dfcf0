// SPDX-License-Identifier: GPL-3.0-or-later
// Compares two pictures for the end-to-end scripts.
//   imagediff A B           prints "WxH WxH mean max": the sizes, then the mean and largest difference of
//                           any channel over the pixels (only when the sizes match)
//   imagediff A B X Y W H   the same for that rectangle of both pictures
//   imagediff --size A      prints "WxH"
//   imagediff --at X Y A B  the same for A and the rectangle of B at X, Y of A's size
#include <QGuiApplication>
#include <QImage>

#include <string>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--size") {
        const QImage image(QString::fromLocal8Bit(argv[2]));
        if (image.isNull())
            return 1;
        std::printf("%dx%d\n", image.width(), image.height());
        return 0;
    }
    const bool at = argc == 6 && std::string(argv[1]) == "--at";
    if (argc != 3 && argc != 7 && !at) {
        std::fprintf(stderr,
                     "usage: imagediff A B [X Y W H] | imagediff --at X Y A B | imagediff --size A\n");
        return 2;
    }
    QImage a = QImage(QString::fromLocal8Bit(argv[at ? 4 : 1])).convertToFormat(QImage::Format_RGB32);
    QImage b = QImage(QString::fromLocal8Bit(argv[at ? 5 : 2])).convertToFormat(QImage::Format_RGB32);
    if (at && !a.isNull() && !b.isNull()) {
        const QRect rect(QPoint(std::atoi(argv[2]), std::atoi(argv[3])), a.size());
        if (!b.rect().contains(rect)) {
            std::fprintf(stderr, "imagediff: the rectangle is not inside the second picture\n");
            return 1;
        }
        b = b.copy(rect);
    }
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "imagediff: cannot read a picture\n");
        return 1;
    }
    if (argc == 7) {
        const QRect rect(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
        if (rect.isEmpty() || !a.rect().contains(rect) || !b.rect().contains(rect)) {
            std::fprintf(stderr, "imagediff: the rectangle is not inside both pictures\n");
            return 1;
        }
        a = a.copy(rect);
        b = b.copy(rect);
    }
    std::printf("%dx%d %dx%d", a.width(), a.height(), b.width(), b.height());
    if (a.size() != b.size()) {
        std::printf("\n");
        return 0;
    }
    double total = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d[3] = {std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                              std::abs(qBlue(ra[x]) - qBlue(rb[x]))};
            for (int c : d) {
                total += c;
                largest = std::max(largest, c);
            }
        }
    }
    std::printf(" %.3f %d\n", total / (3.0 * a.width() * a.height()), largest);
    return 0;
}
