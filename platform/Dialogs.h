#pragma once
// Message boxes and the default beep for code that has no window of its own. The window installs
// handlers that run on the main thread; without one, prompts go to standard error and are answered with
// their first button.

#include <functional>
#include <string>

// Buttons.
enum : unsigned {
    mbOK = 0,
    mbOKCancel = 1,
    mbAbortRetryIgnore = 2,
    mbYesNoCancel = 3,
    mbYesNo = 4,
    mbRetryCancel = 5
};
// Results.
enum : int {
    idOK = 1,
    idCancel = 2,
    idAbort = 3,
    idRetry = 4,
    idIgnore = 5,
    idYes = 6,
    idNo = 7,
    idNoToAll = 9,
    idYesToAll = 10
};

using TMessageBoxHandler =
    std::function<int(const std::string& Text, const std::string& Caption, unsigned Buttons)>;
using TBeepHandler = std::function<void()>;

int ShowMessageBox(const std::string& Text, const std::string& Caption, unsigned Buttons);
void MessageBeep();
// An empty handler restores the default.
void SetMessageBoxHandler(TMessageBoxHandler Handler);
void SetBeepHandler(TBeepHandler Handler);
