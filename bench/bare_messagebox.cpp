// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt program does to greet: the baseline for start-up time.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Avant-Propos"),
                    QStringLiteral("Bienvenue dans le Pavelin\nVersion 4.0"), QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? 0 : 0;
}
