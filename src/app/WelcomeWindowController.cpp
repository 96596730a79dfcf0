// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WelcomeWindowController.h"

#include "app/Brand.h"
#include "app/BrandWindow.h"
#include "capture/ScreenRecordingPermission.h"
#include "common/WindowKeys.h"
#include "common/WindowPlacement.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString shortcutText(const GlobalShortcuts::Name &name)
{
    // Where the desktop owns the shortcuts, the keys it gave.
    if (GlobalShortcuts::desktopService()) {
        const QString trigger = GlobalShortcuts::desktopTrigger(name);
        return trigger.isEmpty() ? QStringLiteral("non attribué") : GlobalShortcuts::linuxKeyNames(trigger);
    }
    const std::optional<GlobalShortcuts::Shortcut> shortcut = GlobalShortcuts::getShortcut(name);
    if (!shortcut)
        return QStringLiteral("non assigné");
    // Bound, but the desktop holds no grab for it (another program has the combination).
    if (GlobalShortcuts::isEnabled() && !GlobalShortcuts::isEnabled(name))
        return shortcut->description() + QStringLiteral(" (non enregistré)");
    return shortcut->description();
}

} // namespace

WelcomeWindowController::WelcomeWindowController()
    : QWidget(nullptr, Qt::Window), m_granted(ScreenRecordingPermission::isGranted())
{
    WindowKeys::closeOnEscape(this);
    BrandWindow::style(this, 480);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 24);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->addWidget(BrandWindow::icon(76));
    auto *titles = new QVBoxLayout;
    titles->addWidget(BrandWindow::label(QStringLiteral("Pim"), 30, Brand::foreground, QFont::Black));
    titles->addWidget(
        BrandWindow::label(QStringLiteral("Capture, annote et partage ton écran."), 13, Brand::muted));
    header->addLayout(titles, 1);
    layout->addLayout(header);
    layout->addWidget(BrandWindow::divider());

    auto *permission = new QHBoxLayout;
    m_permissionIcon = BrandWindow::label(QString(), 16, Brand::foreground);
    m_permissionIcon->setFixedWidth(24);
    permission->addWidget(m_permissionIcon, 0, Qt::AlignTop);
    auto *permissionText = new QVBoxLayout;
    permissionText->addWidget(
        BrandWindow::label(QStringLiteral("Enregistrement d'écran"), 13, Brand::foreground, QFont::DemiBold));
    m_permissionSubtitle = BrandWindow::label(QString(), 11, Brand::muted);
    permissionText->addWidget(m_permissionSubtitle);
    permission->addLayout(permissionText, 1);
    m_grant = new QPushButton(QStringLiteral("Accorder"));
    connect(m_grant, &QPushButton::clicked, this, &WelcomeWindowController::grantClicked);
    permission->addWidget(m_grant, 0, Qt::AlignVCenter);
    layout->addLayout(permission);

    layout->addWidget(
        BrandWindow::label(QStringLiteral("Tes raccourcis"), 10, Brand::faint, QFont::DemiBold));
    const auto row = [&](const QString &title, QLabel **value) {
        auto *line = new QHBoxLayout;
        line->addWidget(BrandWindow::label(title, 12, Brand::foreground), 1);
        *value = BrandWindow::label(QString(), 12, Brand::muted);
        (*value)->setWordWrap(false);
        line->addWidget(*value);
        layout->addLayout(line);
    };
    row(QStringLiteral("Capturer une zone"), &m_areaShortcut);
    row(QStringLiteral("Capturer l'écran complet"), &m_fullShortcut);
    row(QStringLiteral("Capturer une fenêtre"), &m_windowShortcut);
    row(QStringLiteral("Capture défilante"), &m_scrollShortcut);
    m_desktopGuidance = BrandWindow::label(QString(), 11, Brand::muted);
    m_desktopGuidance->setWordWrap(true);
    m_desktopGuidance->setTextFormat(Qt::RichText);
    m_desktopGuidance->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_desktopGuidance);

    layout->addWidget(BrandWindow::label(
        QStringLiteral("↑ Pim vit dans la zone de notification de la barre du bureau. L'historique, les "
                       "préférences et la pipette sont là."),
        11, Brand::muted));

    auto *footer = new QHBoxLayout;
    footer->addStretch(1);
    m_preferences = new QPushButton(QStringLiteral("Préférences"));
    connect(m_preferences, &QPushButton::clicked, this, [this] {
        if (onOpenPreferences)
            onOpenPreferences();
    });
    footer->addWidget(m_preferences);
    m_main = new QPushButton;
    m_main->setDefault(true);
    connect(m_main, &QPushButton::clicked, this, &WelcomeWindowController::mainClicked);
    footer->addWidget(m_main);
    layout->addLayout(footer);

    // Back from the desktop's settings: the row and the main button follow the permission.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            refresh();
    });
    // Queued: the change is announced while the shortcut table itself is being set up.
    connect(
        &GlobalShortcuts::Notifier::shared(), &GlobalShortcuts::Notifier::shortcutByNameDidChange, this,
        [this] { refresh(); }, Qt::QueuedConnection);
    connect(&GlobalShortcuts::Notifier::shared(), &GlobalShortcuts::Notifier::desktopShortcutsDidChange, this,
            [this] { refresh(); });
    refresh();
}

void WelcomeWindowController::refresh()
{
    m_granted = ScreenRecordingPermission::refresh();
    m_areaShortcut->setText(shortcutText(GlobalShortcuts::Name::captureArea()));
    m_fullShortcut->setText(shortcutText(GlobalShortcuts::Name::captureFullScreen()));
    m_windowShortcut->setText(shortcutText(GlobalShortcuts::Name::captureWindow()));
    m_scrollShortcut->setText(shortcutText(GlobalShortcuts::Name::captureScrolling()));
    m_desktopGuidance->setText(GlobalShortcuts::desktopGuidance(GlobalShortcuts::GuidanceFormat::richText));
    m_desktopGuidance->setVisible(!m_desktopGuidance->text().isEmpty());
    showPermission();
    // Rows that appear or go while the window shows: it takes the height its content now needs.
    // (adjustSize() takes the wrapped text's width-free size hint and comes out a line short.)
    if (isVisible())
        resize(width(), hasHeightForWidth() ? heightForWidth(width()) : sizeHint().height());
}

void WelcomeWindowController::showPermission()
{
    m_permissionIcon->setText(m_granted ? QStringLiteral("✔") : QStringLiteral("⚠"));
    QPalette palette = m_permissionIcon->palette();
    palette.setColor(QPalette::WindowText, m_granted ? QColor(52, 199, 89) : QColor(255, 149, 0));
    m_permissionIcon->setPalette(palette);
    m_permissionSubtitle->setText(m_granted
                                      ? QStringLiteral("Accordée. Tu peux capturer.")
                                      : QStringLiteral("Le bureau l'exige pour capturer quoi que ce soit."));
    m_grant->setVisible(!m_granted);
    m_main->setText(m_granted ? QStringLiteral("Capturer une zone") : QStringLiteral("Plus tard"));
    // The preferences button appears once there is a preferences window to open.
    m_preferences->setVisible(bool(onOpenPreferences));
}

void WelcomeWindowController::showWindow()
{
    refresh();
    WindowPlacement::centerOnActiveScreen(this);
    AppSettings::shared().setHasSeenWelcome(true);
    show();
    raise();
    activateWindow();
}

void WelcomeWindowController::grantClicked()
{
    if (ScreenRecordingPermission::refresh()) {
        m_granted = true;
    } else {
        ScreenRecordingPermission::source().request();
        ScreenRecordingPermission::showGuidance();
        m_granted = ScreenRecordingPermission::isGranted();
    }
    showPermission();
}

void WelcomeWindowController::mainClicked()
{
    if (!m_granted) {
        close();
        return;
    }
    close();
    if (onCaptureNow)
        onCaptureNow();
}
