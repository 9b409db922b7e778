#pragma once
// Runs a dialog modally in a widget test: the actions run once its event
// loop is up, and a guard ends a dialog the actions failed to close, so that a
// broken test fails instead of hanging.

#include <QDialog>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace velmora::test {

inline constexpr int kDialogLeftOpen = 1234;

inline int ExecDialog(QDialog& dialog, const std::function<void()>& whileOpen)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] {
        ADD_FAILURE() << "the dialog was left open";
        dialog.done(kDialogLeftOpen);
    });
    guard.start(10000);
    QTimer::singleShot(0, &dialog, whileOpen);
    return dialog.exec();
}

} // namespace velmora::test
