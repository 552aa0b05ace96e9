#pragma once
// Runs a clean-up when the scope ends, on every path out of it, unless released first.

#include <utility>

template <typename TCleanUp> class TScopeGuard {
public:
    explicit TScopeGuard(TCleanUp ACleanUp) : FCleanUp(std::move(ACleanUp)) {}
    ~TScopeGuard() {
        if (FActive)
            FCleanUp();
    }
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;

    // The work succeeded: nothing is to be undone.
    void Release() { FActive = false; }

private:
    TCleanUp FCleanUp;
    bool FActive = true;
};
