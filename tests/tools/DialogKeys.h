// Pressing keys in a dialog as the keyboard would: the event goes to the focused widget through
// the application, so application-wide filters see it.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

inline void PressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    QApplication::processEvents();
}
