#include "platform/Dialogs.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex Guard;
TMessageBoxHandler BoxHandler;
TBeepHandler Beeper;

int FirstButton(unsigned Buttons) {
    switch (Buttons) {
    case mbAbortRetryIgnore:
        return idAbort;
    case mbYesNoCancel:
    case mbYesNo:
        return idYes;
    case mbRetryCancel:
        return idRetry;
    default:
        return idOK;
    }
}

} // namespace

int ShowMessageBox(const std::string& Text, const std::string& Caption, unsigned Buttons) {
    TMessageBoxHandler H;
    {
        std::lock_guard<std::mutex> Lock(Guard);
        H = BoxHandler;
    }
    if (H)
        return H(Text, Caption, Buttons);
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    return FirstButton(Buttons);
}

void MessageBeep() {
    TBeepHandler H;
    {
        std::lock_guard<std::mutex> Lock(Guard);
        H = Beeper;
    }
    if (H)
        H();
}

void SetMessageBoxHandler(TMessageBoxHandler Handler) {
    std::lock_guard<std::mutex> Lock(Guard);
    BoxHandler = std::move(Handler);
}

void SetBeepHandler(TBeepHandler Handler) {
    std::lock_guard<std::mutex> Lock(Guard);
    Beeper = std::move(Handler);
}
