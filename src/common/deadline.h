#pragma once
// A bound of timeoutMs from the moment of construction, on the 64-bit tick count (no wrap-around).

#include <windows.h>

class Deadline {
   public:
    explicit Deadline(DWORD timeoutMs) : start_(GetTickCount64()), timeoutMs_(timeoutMs) {}
    DWORD ElapsedMs() const {
        const ULONGLONG elapsed = GetTickCount64() - start_;
        return elapsed > MAXDWORD ? MAXDWORD : static_cast<DWORD>(elapsed);
    }
    DWORD RemainingMs() const {
        const DWORD elapsed = ElapsedMs();
        return elapsed >= timeoutMs_ ? 0 : timeoutMs_ - elapsed;
    }
    bool Passed() const { return RemainingMs() == 0; }

   private:
    ULONGLONG start_;
    DWORD timeoutMs_;
};
