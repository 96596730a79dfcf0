// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// Pim's messages on standard error, one category per subsystem: QT_LOGGING_RULES="pim.history=false"
// silences one. The tray instance prints them all as "pim: text".
Q_DECLARE_LOGGING_CATEGORY(logApp)
Q_DECLARE_LOGGING_CATEGORY(logCapture)
Q_DECLARE_LOGGING_CATEGORY(logHistory)
Q_DECLARE_LOGGING_CATEGORY(logImageTools)
Q_DECLARE_LOGGING_CATEGORY(logPortal)
