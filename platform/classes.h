// SPDX-License-Identifier: GPL-3.0-or-later
// Base classes of the toolkit layer: objects, owned components, notify events,
// shortcuts, fonts and pictures. Nothing here needs a Qt widget header.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QIcon;

class TObject {
public:
    virtual ~TObject() = default;
};

// A closure: an object and one of its methods taking the sender. Two events are
// equal when they name the same object and method, so bindings can be checked.
class TNotifyEvent {
public:
    using Method = void (TObject::*)(TObject *);

    TNotifyEvent() = default;
    template <class T>
    TNotifyEvent(T *object, void (T::*method)(TObject *))
        : object_(object), method_(static_cast<Method>(method)) {}

    explicit operator bool() const { return object_ && method_; }
    void operator()(TObject *sender) const {
        if (*this) (object_->*method_)(sender);
    }
    bool operator==(const TNotifyEvent &o) const {
        return object_ == o.object_ && method_ == o.method_;
    }

private:
    TObject *object_ = nullptr;
    Method method_ = nullptr;
};

// A component belongs to its owner, which destroys it.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent *owner);
    ~TComponent() override;
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;

    TComponent *Owner() const { return owner_; }
    const std::vector<TComponent *> &Components() const { return components_; }
    QString Name;

protected:
    // Destroys the owned components, last created first.
    void DestroyComponents();

private:
    TComponent *owner_;
    std::vector<TComponent *> components_;
};

// Colours as 0x00BBGGRR; values with the high bit set name system colours.
using TColor = std::uint32_t;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

constexpr int DEFAULT_CHARSET = 1;

class TFont {
public:
    QString Name = QStringLiteral("MS Sans Serif");
    int Height = -11; // negative: character height in pixels at 96 dpi
    int Charset = DEFAULT_CHARSET;
    TColor Color = clWindowText;
    TFontStyles Style = 0;

    int Size() const { return (-Height * 72 + 48) / 96; }
    void SetSize(int points) { Height = -(points * 96 + 36) / 72; }
    bool operator==(const TFont &) const = default;
};

// Shortcuts as the Ctrl/Shift/Alt flags plus a virtual-key code.
using TShortCut = std::uint16_t;
enum TShiftFlag : unsigned { ssShift = 0x2000, ssCtrl = 0x4000, ssAlt = 0x8000 };
constexpr std::uint16_t VK_F12 = 0x7B;
constexpr TShortCut ShortCut(std::uint16_t key, unsigned shift) {
    return static_cast<TShortCut>(key | shift);
}

struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint &) const = default;
};

// A picture given as XPM data (the pictures are compiled into the program).
struct TPicture {
    const char *const *Xpm = nullptr;
    int Width() const;
    int Height() const;
    // The picture at every usual screen scale, its pixels repeated rather
    // than blended so that it stays sharp: at 1x exactly the XPM.
    QIcon Icon() const;
};
