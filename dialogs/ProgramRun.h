#pragma once
// What a test run is given in the program: the settings file, the one
// result log, the question files on disk, the clock, and the mail step.

#include "testrun/TestRun.h"

class QWidget;

namespace programrun {

// Sends one mail through BSendMail on a worker thread. Meanwhile the
// windows keep painting and their timers run, and mouse, key and touch
// input is thrown away (not held back for later). True when it went out.
bool sendMail(const mail::ComposedMail& mail);

// The window a message about the run stands over: the given window while
// it is on screen, else the window the user works in (the settings
// dialog, for its test mail).
QWidget* messageParent(QWidget* window);

// A message of the run (UTF-8) in a message box over the given window.
void showMessage(QWidget* over, const std::string& utf8, testrun::MessageIcon icon);

testrun::RunSeams seams();

} // namespace programrun
