// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ResizeDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

ResizeDialog::ResizeDialog(int pixelWidth, int pixelHeight, QWidget *parent)
    : QDialog(parent), m_field(new QLineEdit(QString::number(pixelWidth)))
{
    setWindowTitle(QStringLiteral("Redimensionner"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *message = new QLabel(QStringLiteral("Redimensionner"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    layout->addWidget(new QLabel(informativeText(pixelWidth, pixelHeight)));

    auto *accessory = new QWidget;
    accessory->setFixedSize(220, 28);
    auto *row = new QHBoxLayout(accessory);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Largeur (px):")));
    m_field->setFixedSize(120, 24);
    row->addWidget(m_field);
    layout->addWidget(accessory);

    auto *buttons = new QDialogButtonBox;
    QPushButton *apply = buttons->addButton(QStringLiteral("Appliquer"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    apply->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_field->setFocus();
    m_field->selectAll();
}

QString ResizeDialog::informativeText(int pixelWidth, int pixelHeight)
{
    return QStringLiteral("Proportions conservées. Taille actuelle: %1 × %2 px.")
        .arg(pixelWidth)
        .arg(pixelHeight);
}

std::optional<int> ResizeDialog::parseWidth(const QString &text, int currentWidth)
{
    // Spaces and tabs; line breaks are not trimmed (and then make the text invalid).
    const auto trimmable = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && trimmable(text[begin]))
        ++begin;
    while (end > begin && trimmable(text[end - 1]))
        --end;
    const QStringView body = QStringView(text).mid(begin, end - begin);
    if (body.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (body[0] == u'+' || body[0] == u'-') {
        negative = body[0] == u'-';
        ++i;
    }
    if (i == body.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    const int width = int(value);
    if (width <= 7 || width == currentWidth)
        return std::nullopt;
    return width;
}
