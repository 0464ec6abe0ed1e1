#pragma once
#include <objbase.h>

namespace win {

// The COM initialisation of the thread that creates it, for that thread's life,
// ended by its owner. A thread that uses COM makes one at its start, not one
// around each use.
class ComApartment {
public:
    ComApartment() : status_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(status_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT status_;
};

}  // namespace win
