// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/HUD.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QTimer>

namespace HUD {

Timings &timings()
{
    static Timings instance;
    return instance;
}

void show(const QString &text, QWidget *window)
{
    if (!window)
        return;
    QWidget *content = window->window();
    if (!content)
        return;

    auto *box = new QWidget(content);
    box->setObjectName(QStringLiteral("hud"));
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral("#hud { background: rgba(0, 0, 0, 199); border-radius: 8px; }"));
    auto *label = new QLabel(box);
    label->setTextFormat(Qt::PlainText); // a file named "<b>1</b>.png" is shown as written
    label->setText(text);
    QFont font = label->font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->adjustSize();
    const QSize labelSize = label->sizeHint();
    label->resize(labelSize);
    const QSize boxSize(labelSize.width() + 28, labelSize.height() + 16);
    // 14 points of side margin, 8 at top and bottom.
    label->move(14, 8);
    box->resize(boxSize);
    // Centred, 24 points above the bottom edge; never cut to a maximum width.
    box->move((content->width() - boxSize.width()) / 2, content->height() - 24 - boxSize.height());

    auto *opacity = new QGraphicsOpacityEffect(box);
    opacity->setOpacity(0);
    box->setGraphicsEffect(opacity);
    box->show();
    box->raise();

    const Timings t = timings();
    auto *fadeIn = new QPropertyAnimation(opacity, "opacity", box);
    fadeIn->setDuration(t.fadeIn);
    fadeIn->setEndValue(1.0);
    QPointer<QWidget> held(box);
    QObject::connect(fadeIn, &QPropertyAnimation::finished, box, [held, opacity, t] {
        QTimer::singleShot(t.hold, held, [held, opacity, t] {
            if (!held)
                return;
            auto *fadeOut = new QPropertyAnimation(opacity, "opacity", held);
            fadeOut->setDuration(t.fadeOut);
            fadeOut->setEndValue(0.0);
            QObject::connect(fadeOut, &QPropertyAnimation::finished, held, [held] {
                if (held)
                    held->deleteLater();
            });
            fadeOut->start(QAbstractAnimation::DeleteWhenStopped);
        });
    });
    fadeIn->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace HUD
