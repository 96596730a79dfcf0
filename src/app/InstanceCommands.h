// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/CommandLine.h"
#include "app/InstanceServer.h"

class CaptureCoordinator;
class RecordingController;
class StatusItemController;
class TextIndex;

// The commands of the command line as the running instance carries them out.
namespace InstanceCommands {

// What the commands act on.
struct Targets {
    CaptureCoordinator &coordinator;
    StatusItemController &statusItem;
    TextIndex &textIndex;
    RecordingController &recording;
};

// Carries out one request and answers it, at once or when the work is done (a capture); an unknown
// command is answered with an error.
void handle(const CommandLine::Request &request, const InstanceServer::Reply &reply, Targets &targets);

} // namespace InstanceCommands
