// SPDX-License-Identifier: GPL-3.0-or-later
// Running the commands: an event's handler, a command's body, with the
// exception box for what they throw.
#pragma once

#include "core/exception.h"
#include "platform/classes.h"

#include <functional>

// What commands run on: it counts them, shows what they throw and says when
// the program is ending. The application object is the one; while it lives it
// is the current host.
class TCommandHost {
public:
    TCommandHost(const TCommandHost &) = delete;
    TCommandHost &operator=(const TCommandHost &) = delete;

    virtual void EnterCommand() = 0;
    virtual void LeaveCommand() = 0;
    virtual void ShowException(const Exception &e) = 0;
    virtual bool Terminated() const = 0;

    static TCommandHost *Current();

protected:
    TCommandHost();
    virtual ~TCommandHost();
};

// Runs an event as a command: exceptions are caught here and shown in the
// application's exception box, never passed back into the toolkit's dispatch.
void FireEvent(const TNotifyEvent &event, TObject *sender);

// Runs a command body: counts it on the stack and shows any exception it raises.
void RunCommand(const std::function<void()> &body);

// True once the application is ending: a dialog or box asked for then answers
// as if cancelled, without showing.
bool Ending();
