// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DesktopSession.h"
#include "shortcuts/MenuTracker.h"

#include <QObject>

class CaptureCoordinator;
class TextIndexer;

// What the running instance installs in the process, owned in one place: the session's backends (the
// keyboard layout, the global shortcuts, the screen permission, who places windows, the pipette's screen
// reader) and the hooks through which the app's parts tell each other (a saved file goes into the
// history, the history feeds the text index, the preview opens the editor, editors get the main menu).
// All are installed by the constructor and taken out by the destructor in the reverse order, so nothing
// points at the coordinator or the indexer once they go, and no backend outlives the application object.
class SessionServices {
public:
    SessionServices(DesktopSession::Kind session, CaptureCoordinator &coordinator, TextIndexer &indexer);
    ~SessionServices();
    SessionServices(const SessionServices &) = delete;
    SessionServices &operator=(const SessionServices &) = delete;

private:
    void installBackends();
    void installHooks();
    void connectEditorCommands();

    DesktopSession::Kind m_session;
    CaptureCoordinator &m_coordinator;
    TextIndexer &m_indexer;
    // The context of the connections made here: they go with the services.
    QObject m_context;
    MenuTracker m_menuTracker;
};
