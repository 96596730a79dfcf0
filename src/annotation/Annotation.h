// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

// One mark on a screenshot, in image space: points of the base image, origin at its bottom-left corner,
// y upwards. A plain value: copies are independent, identity is the id.
struct Annotation {
    struct Arrow {
        QPointF from, to; // the head is at `to`
        bool operator==(const Arrow &) const = default;
    };
    struct Line {
        QPointF from, to;
        bool operator==(const Line &) const = default;
    };
    struct Rect {
        QRectF rect;
        bool operator==(const Rect &) const = default;
    };
    struct Ellipse {
        QRectF rect;
        bool operator==(const Ellipse &) const = default;
    };
    struct Highlight {
        QRectF rect;
        bool operator==(const Highlight &) const = default;
    };
    struct Pixelate {
        QRectF rect;
        bool operator==(const Pixelate &) const = default;
    };
    struct Badge {
        QPointF center;
        qint64 number = 1;
        bool operator==(const Badge &) const = default;
    };
    struct Freehand {
        QList<QPointF> points;
        bool operator==(const Freehand &) const = default;
    };
    struct Text {
        QPointF origin; // bottom-left corner of the text box
        QString string;
        std::optional<QString> fontName;
        double fontSize = 18;
        bool operator==(const Text &) const = default;
    };
    using Kind = std::variant<Arrow, Line, Rect, Ellipse, Highlight, Pixelate, Badge, Freehand, Text>;

    static constexpr double badgeRadius = 14;

    QUuid id = QUuid::createUuid();
    Kind kind;
    QColor color = Qt::red;
    double lineWidth = 3;

    Annotation() = default;
    Annotation(Kind kind, QColor color, double lineWidth, QUuid id = QUuid::createUuid())
        : id(id), kind(std::move(kind)), color(color), lineWidth(lineWidth)
    {}

    bool operator==(const Annotation &) const = default;

    template <typename K> bool is() const { return std::holds_alternative<K>(kind); }
    template <typename K> const K *as() const { return std::get_if<K>(&kind); }
    template <typename K> K *as() { return std::get_if<K>(&kind); }
    // The rectangle of the four rectangle kinds, nothing for the others.
    std::optional<QRectF> rectangle() const;

    QRectF boundingBox() const;
    // The measured box of a text annotation; the zero rectangle for other kinds.
    QRectF textBoundingRect() const;
    void translate(double dx, double dy);
    Annotation scaled(double factor) const;
    // A quarter turn of the picture; imageSize is the size in points before the turn.
    Annotation rotated90(bool clockwise, QSizeF imageSize) const;
    // Arrow and line: [from, to]; rectangle kinds: the four corners from (minX, minY) anticlockwise.
    QList<QPointF> handles() const;
    bool hitTest(const QPointF &point) const;

    static double distance(const QPointF &point, const QPointF &a, const QPointF &b);
    // The point mapping of a quarter turn (see rotated90).
    static QPointF rotatedPoint(const QPointF &point, bool clockwise, QSizeF imageSize);
};
