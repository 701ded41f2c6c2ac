#pragma once

class QWidget;

// Gives `dialog` the font of the window that owns it (its parent), so a
// dialog drawn to the window's fixed pixel layout gets the window's font
// rather than the desktop's. Call first in the constructor, before the
// controls take their fonts from the dialog. Without an owner the dialog
// keeps the application's font.
void UseOwnerFont(QWidget *dialog);

// Centres `dialog` on `main` (on the desktop when main is null).
void CentreOnWidget(QWidget *dialog, const QWidget *main);
// Centres `dialog` on the screen it belongs to.
void CentreOnDesktop(QWidget *dialog);
