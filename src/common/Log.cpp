// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Log.h"

Q_LOGGING_CATEGORY(logApp, "pim.app")
Q_LOGGING_CATEGORY(logCapture, "pim.capture")
Q_LOGGING_CATEGORY(logHistory, "pim.history")
Q_LOGGING_CATEGORY(logImageTools, "pim.imagetools")
Q_LOGGING_CATEGORY(logPortal, "pim.portal")
