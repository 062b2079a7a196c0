#include "platform/winapi.h"

#include "platform/forms.h"
#include "platform/private.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <vector>

namespace {
std::vector<QPointer<QMessageBox>> &openBoxes() {
    static std::vector<QPointer<QMessageBox>> boxes;
    return boxes;
}
} // namespace

void CloseMessageBoxes() {
    for (auto &box : openBoxes())
        if (box) box->done(-1);
}

int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) {
    const bool yesNo = (type & 0xF) == MB_YESNO;
    if (Application && Application->Terminated()) return yesNo ? IDNO : IDOK;

    TWinControl *ownerControl = TWinControl::FromHandle(owner);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""),
                    QString::fromUtf8(text ? text : ""),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    ownerControl ? ownerControl->Widget() : nullptr);
    box.setObjectName(QStringLiteral("messageBox"));
    if (ownerControl) {
        box.setWindowModality(Qt::WindowModal);
    } else {
        // With no owner nothing is disabled: the box is a window of its own.
        box.setWindowModality(Qt::NonModal);
    }

    QEventLoop loop;
    int answer = -1;
    QObject::connect(&box, &QMessageBox::finished, &loop, [&](int result) {
        answer = result;
        loop.quit();
    });
    openBoxes().push_back(&box);
    box.show();
    box.raise();
    box.activateWindow();
    loop.exec();
    std::erase_if(openBoxes(), [&](const QPointer<QMessageBox> &p) { return !p || p == &box; });

    if (yesNo) return answer == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}
