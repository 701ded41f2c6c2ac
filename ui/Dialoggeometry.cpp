#include "ui/Dialoggeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreOnWidget(QWidget *dialog, const QWidget *main)
{
    if (main == nullptr) {
        CentreOnDesktop(dialog);
        return;
    }
    const QRect m = main->frameGeometry();
    const QSize own = dialog->frameGeometry().size();
    dialog->move(m.left() + m.width() / 2 - own.width() / 2,
                 m.top() + m.height() / 2 - own.height() / 2);
}

void CentreOnDesktop(QWidget *dialog)
{
    QScreen *screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect desk = screen->geometry();
    const QSize own = dialog->frameGeometry().size();
    dialog->move(desk.left() + desk.width() / 2 - own.width() / 2,
                 desk.top() + desk.height() / 2 - own.height() / 2);
}

void UseOwnerFont(QWidget *dialog)
{
    if (const QWidget *owner = dialog->parentWidget())
        dialog->setFont(owner->font());
}
