// SPDX-License-Identifier: GPL-3.0-or-later
// The font dialog: face, style, size, effects, colour and script, with a preview.
#include "platform/commands.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/qtconvert.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
struct NamedColor {
    const char *name;
    TColor color;
};
// The sixteen colours of the classic palette, as 0x00BBGGRR.
const NamedColor colorList[] = {
    {"Noir", 0x000000},     {"Bordeaux", 0x000080},    {"Vert", 0x008000},
    {"Olive", 0x008080},    {"Bleu marine", 0x800000}, {"Violet", 0x800080},
    {"Sarcelle", 0x808000}, {"Gris", 0x808080},        {"Argent", 0xC0C0C0},
    {"Rouge", 0x0000FF},    {"Citron vert", 0x00FF00}, {"Jaune", 0x00FFFF},
    {"Bleu", 0xFF0000},     {"Fuchsia", 0xFF00FF},     {"Turquoise", 0xFFFF00},
    {"Blanc", 0xFFFFFF},
};
struct NamedCharset {
    const char *name;
    int charset;
};
const NamedCharset charsetList[] = {
    {"Occidental", 0},
    {"Europe centrale", 238},
    {"Cyrillique", 204},
    {"Grec", 161},
    {"Turc", 162},
    {"Baltique", 186},
    {"Hébreu", 177},
    {"Arabe", 178},
    {"Vietnamien", 163},
    {"Thaï", 222},
    {"Japonais", 128},
    {"Coréen", 129},
    {"Chinois simplifié", 134},
    {"Chinois traditionnel", 136},
    {"Symbole", 2},
};
const int standardSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

class FontDialogWidget : public QDialog {
public:
    explicit FontDialogWidget(QWidget *parent) : QDialog(parent) {
        setObjectName(QStringLiteral("fontDialog"));
        setWindowTitle(QStringLiteral("Police"));
        face = new QComboBox;
        face->setObjectName(QStringLiteral("face"));
        face->setEditable(true);
        face->addItems(QFontDatabase::families());
        // As wide as a usual name, not as the longest one installed.
        face->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        face->setMinimumContentsLength(18);
        style = new QListWidget;
        style->setObjectName(QStringLiteral("style"));
        style->addItems({QStringLiteral("Normal"), QStringLiteral("Italique"),
                         QStringLiteral("Gras"), QStringLiteral("Gras italique")});
        style->setMaximumHeight(90);
        size = new QComboBox;
        size->setObjectName(QStringLiteral("size"));
        size->setEditable(true);
        size->setValidator(new QIntValidator(1, 1638, size));
        for (int s : standardSizes)
            size->addItem(QString::number(s));
        // Room for four digits beside the arrow.
        size->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        size->setMinimumContentsLength(4);
        // A click in the size box opens its list, as the arrow does.
        size->lineEdit()->installEventFilter(this);
        strike = new QCheckBox(QStringLiteral("&Barré"));
        strike->setObjectName(QStringLiteral("strike"));
        underline = new QCheckBox(QStringLiteral("&Souligné"));
        underline->setObjectName(QStringLiteral("underline"));
        color = new QComboBox;
        color->setObjectName(QStringLiteral("color"));
        for (const NamedColor &c : colorList) {
            QPixmap swatch(12, 12);
            swatch.fill(ToQColor(c.color));
            color->addItem(QIcon(swatch), QString::fromUtf8(c.name),
                           QVariant::fromValue<uint>(c.color));
        }
        script = new QComboBox;
        script->setObjectName(QStringLiteral("script"));
        for (const NamedCharset &c : charsetList)
            script->addItem(QString::fromUtf8(c.name), c.charset);
        preview = new QLabel(QStringLiteral("AaBbYyZz"));
        preview->setObjectName(QStringLiteral("preview"));
        preview->setAlignment(Qt::AlignCenter);
        preview->setMinimumSize(200, 60);
        preview->setFrameShape(QFrame::StyledPanel);

        // Each label names its field for screen readers, and its letter
        // with Alt takes the focus there.
        auto *grid = new QGridLayout;
        grid->setVerticalSpacing(2);
        grid->addWidget(labelFor(QStringLiteral("&Police :"), face), 0, 0);
        grid->addWidget(labelFor(QStringLiteral("St&yle :"), style), 0, 1);
        grid->addWidget(labelFor(QStringLiteral("&Taille :"), size), 0, 2);
        grid->addWidget(face, 1, 0, Qt::AlignTop);
        grid->addWidget(style, 1, 1, Qt::AlignTop);
        grid->addWidget(size, 1, 2, Qt::AlignTop);
        grid->setRowMinimumHeight(2, 6);
        auto *effects = new QGroupBox(QStringLiteral("Effets"));
        auto *effectsLayout = new QVBoxLayout(effects);
        effectsLayout->setSpacing(2);
        effectsLayout->addWidget(strike);
        effectsLayout->addWidget(underline);
        effectsLayout->addWidget(labelFor(QStringLiteral("&Couleur :"), color));
        effectsLayout->addWidget(color);
        effectsLayout->addStretch();
        grid->addWidget(effects, 3, 0);
        auto *sample = new QGroupBox(QStringLiteral("Aperçu"));
        auto *sampleLayout = new QVBoxLayout(sample);
        sampleLayout->setSpacing(2);
        sampleLayout->addWidget(preview);
        sampleLayout->addWidget(labelFor(QStringLiteral("Scr&ipt :"), script));
        sampleLayout->addWidget(script);
        grid->addWidget(sample, 3, 1, 1, 2);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto *layout = new QVBoxLayout(this);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addLayout(grid);
        layout->addWidget(buttons);

        const auto update = [this] { updatePreview(); };
        connect(face, &QComboBox::currentTextChanged, this, update);
        connect(style, &QListWidget::currentRowChanged, this, update);
        connect(size, &QComboBox::currentTextChanged, this, update);
        connect(strike, &QCheckBox::toggled, this, update);
        connect(underline, &QCheckBox::toggled, this, update);
        connect(color, &QComboBox::currentIndexChanged, this, update);
    }

    void setFont(const TFont &f) {
        if (face->findText(f.Name) < 0) face->addItem(f.Name);
        face->setCurrentText(f.Name);
        style->setCurrentRow(((f.Style & fsBold) ? 2 : 0) + ((f.Style & fsItalic) ? 1 : 0));
        size->setCurrentText(QString::number(f.Size()));
        strike->setChecked(f.Style & fsStrikeOut);
        underline->setChecked(f.Style & fsUnderline);
        int ci = color->findData(QVariant::fromValue<uint>(f.Color & 0xFFFFFF));
        if (f.Color & 0x80000000u) ci = 0; // the window text colour shows as black
        if (ci < 0) {
            QPixmap swatch(12, 12);
            swatch.fill(ToQColor(f.Color));
            color->addItem(QIcon(swatch), QStringLiteral("Personnalisée"),
                           QVariant::fromValue<uint>(f.Color));
            ci = color->count() - 1;
        }
        color->setCurrentIndex(ci);
        colorUntouched = (f.Color & 0x80000000u) != 0;
        originalColor = f.Color;
        const int si = script->findData(f.Charset == DEFAULT_CHARSET ? 0 : f.Charset);
        script->setCurrentIndex(si < 0 ? 0 : si);
        colorStart = color->currentIndex();
        updatePreview();
    }

    TFont font(const TFont &previous) const {
        TFont f = previous;
        f.Name = face->currentText().trimmed();
        if (f.Name.isEmpty()) f.Name = previous.Name;
        const int points = size->currentText().toInt();
        if (points > 0 && points != previous.Size()) f.SetSize(points);
        const int row = style->currentRow() < 0 ? 0 : style->currentRow();
        f.Style = ((row & 2) ? TFontStyles(fsBold) : 0u) |
                  ((row & 1) ? TFontStyles(fsItalic) : 0u) |
                  (underline->isChecked() ? TFontStyles(fsUnderline) : 0u) |
                  (strike->isChecked() ? TFontStyles(fsStrikeOut) : 0u);
        f.Color = (colorUntouched && color->currentIndex() == colorStart)
                      ? originalColor
                      : TColor(color->currentData().toUInt());
        const int charset = script->currentData().toInt();
        if (!(previous.Charset == DEFAULT_CHARSET && charset == 0)) f.Charset = charset;
        return f;
    }

    QComboBox *face, *size, *color, *script;
    QListWidget *style;
    QCheckBox *strike, *underline;
    QLabel *preview;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == size->lineEdit() && event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
            !size->view()->isVisible())
            size->showPopup();
        return QDialog::eventFilter(watched, event);
    }

private:
    // A label tied to its field: the field takes the label's name.
    static QLabel *labelFor(const QString &text, QWidget *field) {
        auto *label = new QLabel(text);
        label->setBuddy(field);
        field->setAccessibleName(
            QString(text).remove(QLatin1Char('&')).remove(QLatin1String(" :")));
        return label;
    }

    void updatePreview() {
        const TFont f = font(TFont{});
        preview->setFont(ToQFont(f));
        QPalette pal = preview->palette();
        pal.setColor(QPalette::WindowText, ToQColor(f.Color));
        preview->setPalette(pal);
    }
    bool colorUntouched = true;
    TColor originalColor = clWindowText;
    int colorStart = 0;
};
} // namespace

bool TFontDialog::Execute() {
    if (Ending()) return false;
    auto *dialog = static_cast<FontDialogWidget *>(Dialog());
    if (!dialog) {
        dialog = new FontDialogWidget(ParentWidget());
        SetDialog(dialog);
    }
    dialog->setFont(Font);
    dialog->setWindowModality(Qt::ApplicationModal);
    if (dialog->exec() != QDialog::Accepted) return false;
    Font = dialog->font(Font);
    return true;
}
