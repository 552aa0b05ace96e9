#pragma once
// The critical section: a lock its holder may enter again.

#include <mutex>

class TCriticalSection {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }

private:
    std::recursive_mutex FMutex;
};
