// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/classes.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <cstdio>

TComponent::TComponent(TComponent *owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) {
        auto &list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::DestroyComponents() {
    while (!components_.empty())
        delete components_.back();
}

namespace {
// Reads the width and height from an XPM's values line: "w h colours chars".
std::pair<int, int> xpmSize(const char *const *xpm) {
    int w = 0, h = 0;
    if (xpm && xpm[0] && std::sscanf(xpm[0], "%d %d", &w, &h) == 2) return {w, h};
    return {0, 0};
}
} // namespace

int TPicture::Width() const {
    return xpmSize(Xpm).first;
}
int TPicture::Height() const {
    return xpmSize(Xpm).second;
}

QIcon TPicture::Icon() const {
    if (!Xpm) return {};
    const QPixmap one(Xpm);
    QIcon icon(one);
    const QImage art = one.toImage();
    // Scaled without smoothing: each pixel of the art becomes a block of
    // whole device pixels (one or two wide between 1x and 2x).
    for (const double scale : {1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0}) {
        QPixmap p = QPixmap::fromImage(
            art.scaled(art.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        p.setDevicePixelRatio(scale);
        icon.addPixmap(p);
    }
    return icon;
}
