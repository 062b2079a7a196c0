// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/entry.h"

#include "platform/forms.h"
#include "ui/form1.h"

#include "resources/pavelin.xpm"

int RunPavelin(const std::function<void(TApplication &)> &createForms) {
    if (!Application) Application = new TApplication;
    try {
        Application->Initialize();
        Application->SetIcon(TPicture{pavelin_xpm});
        createForms(*Application);
        Application->Run();
    } catch (const Exception &e) {
        Application->ShowException(e);
    } catch (const std::bad_alloc &) {
        Application->ShowException(OutOfMemoryException());
    } catch (...) {
        Application->ShowException(UnexpectedException());
    }
    return 0;
}

int PavelinMain() {
    const int code = RunPavelin([](TApplication &app) { app.CreateForm(Form1); });
    delete Application; // the window and everything it owns go with it
    Form1 = nullptr;
    return code;
}
