// Per-thread initialisation of the component system. A thread calls
// CoInitializeEx before it creates or calls objects and CoUninitialize as
// often as it initialised, once it is done. Only the single-threaded
// apartment is offered: every program of the system runs its work on one
// thread of that kind.
#ifndef QUORVANE_PLATFORM_COM_APARTMENT_H_
#define QUORVANE_PLATFORM_COM_APARTMENT_H_

#include "platform/com/hresult.h"
#include "platform/export.h"

constexpr unsigned long COINIT_APARTMENTTHREADED = 0x2;
constexpr unsigned long COINIT_MULTITHREADED = 0x0;

// S_OK on the first call of a thread, S_FALSE when the thread is already
// initialised (each call still needs its CoUninitialize),
// RPC_E_CHANGED_MODE when asked for a multithreaded apartment.
QUORVANE_PLATFORM_EXPORT HRESULT CoInitializeEx(void* reserved, unsigned long coinit);
QUORVANE_PLATFORM_EXPORT void CoUninitialize();

namespace Tavrin::Platform {
// Whether the calling thread has initialised the component system.
QUORVANE_PLATFORM_EXPORT bool apartment_initialised();
}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_COM_APARTMENT_H_
