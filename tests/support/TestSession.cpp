// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestSession.h"

#include "capture/ScreenRecordingPermission.h"
#include "common/WindowPlacement.h"
#include "editor/EditorManager.h"
#include "history/HistoryStore.h"
#include "imagetools/ColorPickerService.h"
#include "preview/PreviewPanel.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/KeyboardLayout.h"

void resetTestSession()
{
    GlobalShortcuts::resetForTesting();
    KeyboardLayout::setLayoutSource(nullptr);
    ScreenRecordingPermission::stopPolling();
    ScreenRecordingPermission::setSource(nullptr);
    ScreenRecordingPermission::setGranted(true);
    ScreenRecordingPermission::setAlertRunner(nullptr);
    ScreenRecordingPermission::setRelauncher(nullptr);
    ScreenRecordingPermission::setPollInterval(2000);
    ColorPickerService::setScreenGrabber(nullptr);
    ColorPickerService::setPointerLocator(nullptr);
    WindowPlacement::setCompositorPlacesWindows(false);
    WindowPlacement::setCompositingProbe(nullptr);
    HistoryStore::shared().onEntriesChanged = nullptr;
    PreviewManager::shared().openEditor = nullptr;
    EditorManager::shared().onWindowCreated = nullptr;
}
