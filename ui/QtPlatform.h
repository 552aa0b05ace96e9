#pragma once
// The window's side of the platform services: message boxes and the beep on the main thread, and the
// main-thread side of worker hand-overs.

// While it lives, workers hand over to the Qt event loop and platform/Dialogs.h's message box and beep are
// Qt ones on the main thread. Create it after the application object, destroy it before.
class TQtPlatform {
public:
    TQtPlatform();
    ~TQtPlatform();
    TQtPlatform(const TQtPlatform&) = delete;
    TQtPlatform& operator=(const TQtPlatform&) = delete;
};
