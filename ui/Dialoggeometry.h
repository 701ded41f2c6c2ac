#pragma once

class QWidget;

// Centres `dialog` on `main` (on the desktop when main is null).
void CentreOnWidget(QWidget *dialog, const QWidget *main);
// Centres `dialog` on the screen it belongs to.
void CentreOnDesktop(QWidget *dialog);
