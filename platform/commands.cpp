// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/commands.h"

#include <new>

namespace {
TCommandHost *current = nullptr;
} // namespace

TCommandHost::TCommandHost() {
    current = this;
}

TCommandHost::~TCommandHost() {
    if (current == this) current = nullptr;
}

TCommandHost *TCommandHost::Current() {
    return current;
}

void FireEvent(const TNotifyEvent &event, TObject *sender) {
    if (!event) return;
    RunCommand([&] { event(sender); });
}

void RunCommand(const std::function<void()> &body) {
    TCommandHost *app = TCommandHost::Current();
    if (app) app->EnterCommand();
    try {
        body();
    } catch (const Exception &e) {
        if (app) app->ShowException(e);
    } catch (const std::bad_alloc &) {
        if (app) app->ShowException(OutOfMemoryException());
    } catch (...) {
        if (app) app->ShowException(UnexpectedException());
    }
    if (app) app->LeaveCommand();
}

bool Ending() {
    const TCommandHost *host = TCommandHost::Current();
    return host && host->Terminated();
}
