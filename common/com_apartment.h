#pragma once
// COM for a call into the shell, on a host thread that may or may not have
// it: initialised apartment-threaded for the scope, and uninitialised only
// when this scope's call succeeded. A thread already in the multithreaded
// apartment (RPC_E_CHANGED_MODE) goes on without.
#include <objbase.h>

class ComApartment {
public:
    ComApartment() noexcept : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};
