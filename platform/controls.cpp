// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/controls.h"

#include "core/docfile.h"
#include "core/textcodec.h"
#include "platform/commands.h"
#include "platform/progress.h"
#include "platform/qtconvert.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QToolButton>

// ---------------------------------------------------------------------------
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent *owner) : TControl(owner) {
    auto *button = new QToolButton;
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::NoFocus); // picture buttons never take the focus
    QObject::connect(button, &QToolButton::clicked, [this] { FireEvent(OnClick, this); });
    SetWidget(button);
}

void TSpeedButton::SetGlyph(const TPicture &picture) {
    glyph_ = picture;
    static_cast<QToolButton *>(Widget())->setIcon(picture.Icon());
}

void TSpeedButton::Click() {
    static_cast<QToolButton *>(Widget())->click();
}

// ---------------------------------------------------------------------------
// TMemo: a plain-text buffer. While hidden its text lives in a string, so that
// staging a large document costs no layout.

TMemo::TMemo(TComponent *owner) : TWinControl(owner), Lines(new TMemoLines(this)) {
    auto *edit = new QPlainTextEdit;
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    SetWidget(edit);
}

TMemo::~TMemo() {
    delete Lines;
}

QString TMemo::Text() const {
    if (Visible() && Parent()) return static_cast<QPlainTextEdit *>(Widget())->toPlainText();
    return text_;
}

void TMemo::SetText(const QString &text) {
    text_ = text;
    if (Visible() && Parent()) static_cast<QPlainTextEdit *>(Widget())->setPlainText(text);
}

void TMemo::PasteFromClipboard() {
    const QMimeData *data = QApplication::clipboard()->mimeData();
    QString text = data && data->hasText() ? data->text() : QString();
    if (text.contains(QLatin1Char('\r'))) text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    SetText(text);
}

QString TMemoLines::Text() const {
    const QString text = memo_->Text();
    if (text.isEmpty()) return text;
    QString out = text;
    out.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return out + QLatin1String("\r\n");
}

void TMemoLines::SetText(const QString &text) {
    memo_->SetText(text);
}
void TMemoLines::Clear() {
    memo_->SetText(QString());
}

int TMemoLines::Count() const {
    const QString text = memo_->Text();
    return text.isEmpty() ? 0 : int(text.count(QLatin1Char('\n'))) + 1;
}

void TMemoLines::SaveToFile(const QString &fileName) const {
    TProgress progress(
        QStringLiteral("Enregistrement de « %1 »...").arg(QFileInfo(fileName).fileName()), false);
    const QByteArray bytes = textcodec::encodeCrLf(memo_->Text());
    progress.Step(0.5);
    SafeWriteFile(fileName, bytes);
}
