// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InstanceCommands.h"

#include "app/StatusItemController.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RecordingController.h"
#include "editor/EditorManager.h"
#include "history/HistoryStore.h"
#include "history/TextIndex.h"
#include "imagetools/ColorPickerService.h"
#include "output/ImageLoader.h"
#include "preview/PinWindow.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <map>
#include <string>

namespace InstanceCommands {

namespace {

// `pim search WORDS…`: the captures whose text holds every word, newest first, one path a line.
void answerSearch(const CommandLine::Request &request, const InstanceServer::Reply &reply, TextIndex &index)
{
    if (!index.ensureAvailable()) {
        reply(false, QStringLiteral("recherche indisponible : ") + index.problem());
        return;
    }
    QStringList words;
    for (const std::string &word : request.arguments)
        words << QString::fromStdString(word);
    const QSet<QString> matches = index.search(words.join(u' '));
    QStringList paths;
    for (const HistoryStore::Entry &entry : HistoryStore::shared().entries()) {
        if (matches.contains(entry.path))
            paths << entry.path;
    }
    if (paths.isEmpty())
        reply(false, QStringLiteral("aucune capture ne contient ces mots"));
    else
        reply(true, paths.join(u'\n'));
}

using Reply = InstanceServer::Reply;
using Command = void (*)(const CommandLine::Request &, const Reply &, Targets &);

// A capture's outcome as the command's answer: the file's path, or why there is none.
std::function<void(const CaptureOutcome &)> answerCapture(const Reply &reply)
{
    return [reply](const CaptureOutcome &outcome) {
        switch (outcome.kind) {
        case CaptureOutcome::Kind::saved: reply(true, outcome.path); return;
        case CaptureOutcome::Kind::failed: reply(false, outcome.message); return;
        case CaptureOutcome::Kind::cancelled:
        case CaptureOutcome::Kind::ignored:
        case CaptureOutcome::Kind::permissionMissing: reply(false, QStringLiteral("capture annulée")); return;
        }
    };
}

QString firstArgument(const CommandLine::Request &request)
{
    return request.arguments.empty() ? QString() : QString::fromStdString(request.arguments.front());
}

void captureFullScreen(const CommandLine::Request &request, const Reply &reply, Targets &targets)
{
    // The command checks the delay; a raw request may send anything.
    const QString argument = firstArgument(request);
    bool number = false;
    const double delay = argument.isEmpty() ? 0 : argument.toDouble(&number);
    if ((!argument.isEmpty() && !number) || !std::isfinite(delay) || delay < 0 || delay > 3600)
        reply(false, QStringLiteral("délai invalide : %1 (de 0 à 3600 secondes)").arg(argument));
    else
        targets.coordinator.captureFullScreen(delay, answerCapture(reply));
}

// `pim record area|full`: the arguments are the kind, the format (empty: the settings') and the
// duration (empty: until stopped). Answered with the file's path once it is finished.
void record(const CommandLine::Request &request, const Reply &reply, Targets &targets)
{
    const auto argument = [&](size_t i) {
        return i < request.arguments.size() ? QString::fromStdString(request.arguments[i]) : QString();
    };
    RecordingController::Request recording;
    if (!argument(1).isEmpty()) {
        recording.format = videoFormatFromRawValue(argument(1));
        if (!recording.format) {
            reply(false, QStringLiteral("format vidéo inconnu : %1").arg(argument(1)));
            return;
        }
    }
    if (!argument(2).isEmpty()) {
        bool number = false;
        recording.durationSeconds = argument(2).toDouble(&number);
        if (!number || !std::isfinite(recording.durationSeconds) || recording.durationSeconds <= 0 ||
            recording.durationSeconds > 24 * 3600) {
            reply(false, QStringLiteral("durée invalide : %1").arg(argument(2)));
            return;
        }
    }
    if (argument(0) == QLatin1String("area"))
        targets.recording.recordArea(recording, answerCapture(reply));
    else if (argument(0) == QLatin1String("full"))
        targets.recording.recordScreen(recording, answerCapture(reply));
    else
        reply(false, QStringLiteral("que faut-il enregistrer ? area ou full"));
}

// The commands the running instance carries out, by name.
const std::map<std::string, Command> &commands()
{
    static const std::map<std::string, Command> table{
        {"show", [](const CommandLine::Request &, const Reply &reply, Targets &) { reply(true, QString()); }},
        {"area", [](const CommandLine::Request &, const Reply &reply,
                    Targets &targets) { targets.coordinator.captureArea(answerCapture(reply)); }},
        {"full", captureFullScreen},
        {"window", [](const CommandLine::Request &, const Reply &reply,
                      Targets &targets) { targets.coordinator.captureWindow(answerCapture(reply)); }},
        {"scroll", [](const CommandLine::Request &, const Reply &reply,
                      Targets &targets) { targets.coordinator.captureScrolling(answerCapture(reply)); }},
        {"record", record},
        {"stop",
         [](const CommandLine::Request &, const Reply &reply, Targets &targets) {
             if (targets.recording.stop())
                 reply(true, QString());
             else
                 reply(false, QStringLiteral("aucun enregistrement en cours"));
         }},
        {"edit",
         [](const CommandLine::Request &request, const Reply &reply, Targets &) {
             const QString error = EditorManager::shared().openFile(firstArgument(request));
             reply(error.isEmpty(), error);
         }},
        {"pin",
         [](const CommandLine::Request &request, const Reply &reply, Targets &) {
             const QString path = firstArgument(request);
             const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path);
             if (!loaded) {
                 reply(false, QStringLiteral("image illisible : %1").arg(path));
                 return;
             }
             PinWindow::open(loaded->image, loaded->scale, path);
             reply(true, QString());
         }},
        {"history",
         [](const CommandLine::Request &, const Reply &reply, Targets &targets) {
             targets.statusItem.showHistory();
             reply(true, QString());
         }},
        {"preferences",
         [](const CommandLine::Request &, const Reply &reply, Targets &targets) {
             targets.statusItem.showPreferences();
             reply(true, QString());
         }},
        {"search", [](const CommandLine::Request &request, const Reply &reply,
                      Targets &targets) { answerSearch(request, reply, targets.textIndex); }},
        {"pick-color",
         [](const CommandLine::Request &, const Reply &reply, Targets &) {
             ColorPickerService::pickAndCopyHex(
                 [reply](const QString &code) { reply(true, code); },
                 [reply] { reply(false, QStringLiteral("aucune couleur choisie")); });
         }},
        {"quit",
         [](const CommandLine::Request &, const Reply &reply, Targets &) {
             reply(true, QString());
             QTimer::singleShot(0, qApp, &QCoreApplication::quit);
         }},
    };
    return table;
}

} // namespace

void handle(const CommandLine::Request &request, const Reply &reply, Targets &targets)
{
    const auto command = commands().find(request.command);
    if (command == commands().end())
        reply(false, QStringLiteral("commande inconnue : ") + QString::fromStdString(request.command));
    else
        command->second(request, reply, targets);
}

} // namespace InstanceCommands
