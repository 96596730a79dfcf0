// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/PreferencesWindowController.h"

#include "common/WindowKeys.h"
#include "common/WindowPlacement.h"
#include "preferences/LoginItem.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/ShortcutRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int folderLabelWidth = 240;

QLabel *rowLabel(const QString &text)
{
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(13);
    label->setFont(font);
    return label;
}

QFrame *separator()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void useSecondaryColour(QLabel *label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

QString joined(const QStringList &languages)
{
    return languages.join(QStringLiteral(", "));
}

} // namespace

// The window's form: a label column on the right of which each row's controls stand.
class PreferencesWindowController::Form {
public:
    Form()
    {
        m_grid->setVerticalSpacing(10);
        m_grid->setHorizontalSpacing(12);
    }
    QGridLayout *grid() const { return m_grid; }
    void addRow(const QString &label, QLayout *content)
    {
        if (!label.isEmpty())
            m_grid->addWidget(rowLabel(label), m_row, 0, Qt::AlignRight | Qt::AlignVCenter);
        m_grid->addLayout(content, m_row, 1);
        ++m_row;
    }
    // One control on the left of its row.
    void addRow(const QString &label, QWidget *content)
    {
        auto *box = new QHBoxLayout;
        box->setContentsMargins(0, 0, 0, 0);
        box->addWidget(content);
        box->addStretch();
        addRow(label, box);
    }
    void addSeparator() { m_grid->addWidget(separator(), m_row++, 0, 1, 2); }

private:
    QGridLayout *m_grid = new QGridLayout;
    int m_row = 0;
};

PreferencesWindowController::PreferencesWindowController()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programPath(QCoreApplication::applicationFilePath())
{
    setWindowTitle(QStringLiteral("Préférences de Pim"));
    // (A shortcut recorder that is recording takes Escape for itself.)
    WindowKeys::closeOnEscape(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setUpDialogs();

    Form form;
    addShortcutRows(form);
    // The loupe beside the pointer while an area is chosen.
    m_loupeCheckbox = new QCheckBox(QStringLiteral("Afficher la loupe"));
    m_loupeCheckbox->setChecked(AppSettings::shared().showLoupe());
    connect(m_loupeCheckbox, &QCheckBox::toggled, this,
            [](bool checked) { AppSettings::shared().setShowLoupe(checked); });
    form.addRow(QString(), m_loupeCheckbox);
    form.addSeparator();
    addOutputRows(form);
    form.addSeparator();
    addRecordingRows(form);
    form.addSeparator();
    m_loginCheckbox = new QCheckBox(QStringLiteral("Lancer Pim au démarrage"));
    connect(m_loginCheckbox, &QCheckBox::clicked, this, &PreferencesWindowController::loginToggled);
    form.addRow(QString(), m_loginCheckbox);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->addLayout(form.grid());
    outer->setSizeConstraint(QLayout::SetFixedSize); // not resizable: the size that fits the content

    syncFromSettings();
    WindowPlacement::centerOnActiveScreen(this);
}

void PreferencesWindowController::setUpDialogs()
{
    chooseFolderDialog = [this](const QString &start) {
        QFileDialog dialog(this);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setDirectory(start);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choisir"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    showAlert = [this](const QString &message, const QString &informative) {
        QMessageBox box(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
        box.setInformativeText(informative);
        box.exec();
    };
}

void PreferencesWindowController::addShortcutRows(Form &form)
{
    // Each recorder keeps itself current; the note says when the desktop refused one.
    using GlobalShortcuts::Name;
    const QList<const Name *> names = Name::captures();
    const QString titles[shortcutRows] = {
        QStringLiteral("Capture de zone :"), QStringLiteral("Plein écran :"), QStringLiteral("Fenêtre :"),
        QStringLiteral("Capture défilante :"), QStringLiteral("Enregistrement :")};
    for (int i = 0; i < shortcutRows; ++i) {
        auto *stack = new QVBoxLayout;
        stack->setSpacing(2);
        m_recorders[i] = new GlobalShortcuts::Recorder(*names[i]);
        stack->addWidget(m_recorders[i], 0, Qt::AlignLeft);
        m_shortcutStatus[i] = new QLabel(QStringLiteral("Non enregistré auprès du bureau"));
        QPalette red = m_shortcutStatus[i]->palette();
        red.setColor(QPalette::WindowText, QColor(255, 59, 48));
        m_shortcutStatus[i]->setPalette(red);
        QFont small = m_shortcutStatus[i]->font();
        small.setPixelSize(10);
        m_shortcutStatus[i]->setFont(small);
        stack->addWidget(m_shortcutStatus[i]);
        form.addRow(titles[i], stack);
    }
    // Where the desktop owns the shortcuts and gives none: how to bind the commands in its settings.
    m_desktopGuidance = new QLabel;
    m_desktopGuidance->setTextFormat(Qt::RichText);
    m_desktopGuidance->setWordWrap(true);
    m_desktopGuidance->setFixedWidth(300);
    m_desktopGuidance->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form.addRow(QString(), m_desktopGuidance);
    const GlobalShortcuts::Notifier *notifier = &GlobalShortcuts::Notifier::shared();
    connect(notifier, &GlobalShortcuts::Notifier::desktopShortcutsDidChange, this,
            &PreferencesWindowController::updateShortcutStatus);
    connect(notifier, &GlobalShortcuts::Notifier::shortcutByNameDidChange, this,
            &PreferencesWindowController::updateShortcutStatus);
    connect(notifier, &GlobalShortcuts::Notifier::recorderActiveStatusDidChange, this,
            &PreferencesWindowController::updateShortcutStatus);
}

void PreferencesWindowController::addOutputRows(Form &form)
{
    auto *folderRow = new QHBoxLayout;
    m_folderLabel = new QLabel;
    m_folderLabel->setMaximumWidth(folderLabelWidth);
    auto *choose = new QPushButton(QStringLiteral("Choisir…"));
    connect(choose, &QPushButton::clicked, this, &PreferencesWindowController::chooseFolder);
    folderRow->addWidget(m_folderLabel);
    folderRow->addWidget(choose);
    folderRow->addStretch();
    form.addRow(QStringLiteral("Dossier :"), folderRow);

    m_formatPopup = new QComboBox;
    for (const ImageFormat format : availableImageFormats())
        m_formatPopup->addItem(title(format), QVariant::fromValue(int(format)));
    connect(m_formatPopup, &QComboBox::activated, this, &PreferencesWindowController::formatChanged);
    form.addRow(QStringLiteral("Format :"), m_formatPopup);

    auto *qualityRow = new QHBoxLayout;
    m_qualitySlider = new QSlider(Qt::Horizontal);
    m_qualitySlider->setRange(sliderScale / 2, sliderScale);
    m_qualitySlider->setFixedWidth(160);
    m_qualitySlider->setTracking(false); // reports when released
    m_qualitySlider->setValue(int(std::lround(AppSettings::shared().imageQuality() * sliderScale)));
    connect(m_qualitySlider, &QSlider::valueChanged, this, &PreferencesWindowController::qualityChanged);
    m_qualityValueLabel = new QLabel(QStringLiteral("85 %"));
    useSecondaryColour(m_qualityValueLabel);
    qualityRow->addWidget(m_qualitySlider);
    qualityRow->addWidget(m_qualityValueLabel);
    qualityRow->addStretch();
    form.addRow(QStringLiteral("Qualité :"), qualityRow);

    auto *patternStack = new QVBoxLayout;
    patternStack->setSpacing(2);
    m_patternField = new QLineEdit;
    m_patternField->setFixedWidth(300);
    connect(m_patternField, &QLineEdit::editingFinished, this, &PreferencesWindowController::patternEdited);
    auto *hint = new QLabel(QStringLiteral("Tokens : {date} {time} {yyyy} {MM} {dd} {HH} {mm} {ss}"));
    QFont hintFont = hint->font();
    hintFont.setPixelSize(10);
    hint->setFont(hintFont);
    useSecondaryColour(hint);
    patternStack->addWidget(m_patternField, 0, Qt::AlignLeft);
    patternStack->addWidget(hint, 0, Qt::AlignLeft);
    form.addRow(QStringLiteral("Nommage :"), patternStack);

    m_ocrField = new QLineEdit;
    m_ocrField->setFixedWidth(300);
    connect(m_ocrField, &QLineEdit::editingFinished, this, &PreferencesWindowController::languagesEdited);
    form.addRow(QStringLiteral("Langues OCR :"), m_ocrField);
}

void PreferencesWindowController::addRecordingRows(Form &form)
{
    m_videoFormatPopup = new QComboBox;
    for (const VideoFormat format : allVideoFormats)
        m_videoFormatPopup->addItem(title(format), rawValue(format));
    connect(m_videoFormatPopup, &QComboBox::activated, this, [this] {
        if (const std::optional<VideoFormat> format =
                videoFormatFromRawValue(m_videoFormatPopup->currentData().toString()))
            AppSettings::shared().setVideoFormat(*format);
    });
    form.addRow(QStringLiteral("Format vidéo :"), m_videoFormatPopup);
    m_frameRatePopup = new QComboBox;
    for (const int rate : videoFrameRates)
        m_frameRatePopup->addItem(QString::number(rate), rate);
    connect(m_frameRatePopup, &QComboBox::activated, this,
            [this] { AppSettings::shared().setFramesPerSecond(m_frameRatePopup->currentData().toInt()); });
    form.addRow(QStringLiteral("Images par seconde :"), m_frameRatePopup);
    m_pointerCheckbox = new QCheckBox(QStringLiteral("Afficher le pointeur"));
    connect(m_pointerCheckbox, &QCheckBox::toggled, this,
            [](bool checked) { AppSettings::shared().setShowPointer(checked); });
    form.addRow(QString(), m_pointerCheckbox);
}

void PreferencesWindowController::setMenuItemLookup(
    const std::function<QString(const QKeySequence &)> &lookup)
{
    for (GlobalShortcuts::Recorder *recorder : m_recorders)
        recorder->menuItemFor = lookup;
}

void PreferencesWindowController::showWindow()
{
    syncFromSettings();
    show();
    raise();
    activateWindow();
}

void PreferencesWindowController::showEvent(QShowEvent *event)
{
    updateShortcutStatus();
    QWidget::showEvent(event);
}

void PreferencesWindowController::syncFromSettings()
{
    AppSettings &settings = AppSettings::shared();
    showFolder(settings.destinationDirectory());
    m_patternField->setText(settings.filenamePattern());
    m_ocrField->setText(joined(settings.ocrLanguages()));

    const ImageFormat format = settings.imageFormat();
    const int item = m_formatPopup->findData(QVariant::fromValue(int(format)));
    if (item >= 0)
        m_formatPopup->setCurrentIndex(item);
    {
        const QSignalBlocker quiet(m_qualitySlider);
        m_qualitySlider->setValue(int(std::lround(settings.imageQuality() * sliderScale)));
    }
    updateQualityUI(format);
    m_videoFormatPopup->setCurrentIndex(m_videoFormatPopup->findData(rawValue(settings.videoFormat())));
    m_frameRatePopup->setCurrentIndex(m_frameRatePopup->findData(settings.framesPerSecond()));
    {
        const QSignalBlocker quiet(m_pointerCheckbox);
        m_pointerCheckbox->setChecked(settings.showPointer());
    }
    m_loginCheckbox->setChecked(LoginItem::isEnabled());
    updateShortcutStatus();
}

void PreferencesWindowController::showFolder(const QString &path)
{
    // The whole path in the tooltip; shortened in the middle when too long for the label.
    m_folderLabel->setToolTip(path);
    m_folderLabel->setText(m_folderLabel->fontMetrics().elidedText(path, Qt::ElideMiddle, folderLabelWidth));
}

QString PreferencesWindowController::qualityText(ImageFormat format, double quality)
{
    if (!isLossy(format))
        return QStringLiteral("sans perte");
    return QStringLiteral("%1 %").arg(std::lround(quality * 100));
}

double PreferencesWindowController::sliderValue() const
{
    return double(m_qualitySlider->value()) / sliderScale;
}

void PreferencesWindowController::updateQualityUI(ImageFormat format)
{
    m_qualitySlider->setEnabled(isLossy(format));
    m_qualityValueLabel->setText(qualityText(format, sliderValue()));
}

void PreferencesWindowController::updateShortcutStatus()
{
    using GlobalShortcuts::Name;
    const QList<const Name *> names = Name::captures();
    for (int i = 0; i < shortcutRows; ++i) {
        // Not registered: bound, yet the desktop holds no grab for it (refused, or nothing to grab with).
        const bool bound = GlobalShortcuts::getShortcut(*names[i]).has_value();
        if (const GlobalShortcuts::DesktopShortcutService *desktop = GlobalShortcuts::desktopService())
            // The desktop holds the shortcuts but gave this one no keys.
            m_shortcutStatus[i]->setVisible(desktop->state() ==
                                                GlobalShortcuts::DesktopShortcutService::State::Bound &&
                                            GlobalShortcuts::desktopTrigger(*names[i]).isEmpty());
        else
            m_shortcutStatus[i]->setVisible(bound && GlobalShortcuts::isEnabled() &&
                                            !GlobalShortcuts::isEnabled(*names[i]));
    }
    const QString guidance = GlobalShortcuts::desktopGuidance(GlobalShortcuts::GuidanceFormat::richText);
    m_desktopGuidance->setText(guidance);
    m_desktopGuidance->setToolTip(
        GlobalShortcuts::desktopService() ? GlobalShortcuts::desktopService()->problem() : QString());
    m_desktopGuidance->setVisible(!guidance.isEmpty());
}

void PreferencesWindowController::formatChanged()
{
    const QVariant carried = m_formatPopup->currentData();
    if (!carried.isValid())
        return;
    const auto format = ImageFormat(carried.toInt());
    AppSettings::shared().setImageFormat(format);
    updateQualityUI(format);
}

void PreferencesWindowController::qualityChanged()
{
    AppSettings::shared().setImageQuality(sliderValue());
    updateQualityUI(AppSettings::shared().imageFormat());
}

void PreferencesWindowController::chooseFolder()
{
    if (!chooseFolderDialog)
        return;
    const QString chosen = chooseFolderDialog(AppSettings::shared().destinationDirectory());
    if (chosen.isEmpty())
        return;
    const QString absolute = QFileInfo(chosen).absoluteFilePath();
    AppSettings::shared().setDestinationDirectory(absolute);
    showFolder(absolute);
}

void PreferencesWindowController::patternEdited()
{
    m_patternField->setText(AppSettings::shared().setFilenamePattern(m_patternField->text()));
}

void PreferencesWindowController::languagesEdited()
{
    m_ocrField->setText(joined(AppSettings::shared().setOcrLanguages(m_ocrField->text())));
}

void PreferencesWindowController::loginToggled()
{
    const Result<Done> outcome = LoginItem::setEnabled(m_loginCheckbox->isChecked(), programPath);
    if (outcome)
        return;
    m_loginCheckbox->setChecked(LoginItem::isEnabled());
    if (showAlert)
        showAlert(QStringLiteral("Impossible de modifier le lancement au démarrage"),
                  outcome.error().message);
}
