// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <optional>

class QLineEdit;

// "Redimensionner": the new width of the picture in pixels, the height following from the proportions.
class ResizeDialog : public QDialog {
    Q_OBJECT
public:
    ResizeDialog(int pixelWidth, int pixelHeight, QWidget *parent = nullptr);
    QLineEdit *widthField() const { return m_field; }

    // The width the text asks for: whitespace other than line breaks trimmed, an optional sign and digits
    // only, more than 7 and not the current width; nothing otherwise.
    static std::optional<int> parseWidth(const QString &text, int currentWidth);
    static QString informativeText(int pixelWidth, int pixelHeight);

private:
    QLineEdit *m_field;
};
