// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How one capture request ended.
struct CaptureOutcome {
    enum class Kind {
        saved,             // the file is written: `path`
        cancelled,         // Escape, a plain click, a selection too small or a change of screens
        ignored,           // another capture was already reading the screens or selecting
        permissionMissing, // the desktop refuses the screenshot permission (the guidance is shown)
        failed,            // reading, encoding or saving failed: `message` says why
    };
    Kind kind = Kind::cancelled;
    QString path;
    QString message;

    static CaptureOutcome savedTo(const QString &path) { return {Kind::saved, path, {}}; }
    static CaptureOutcome failure(const QString &message) { return {Kind::failed, {}, message}; }
    static CaptureOutcome of(Kind kind) { return {kind, {}, {}}; }

    bool isSaved() const { return kind == Kind::saved; }
};
