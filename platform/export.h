// Export macro of libQuorvanePlatform, the layer that stands in for the
// Windows interfaces. Everything not marked is hidden.
#ifndef QUORVANE_PLATFORM_EXPORT_H_
#define QUORVANE_PLATFORM_EXPORT_H_

#define QUORVANE_PLATFORM_EXPORT __attribute__((visibility("default")))

// The entry points of an in-process server module (DllGetClassObject,
// DllCanUnloadNow): C linkage and visible to the loader, whatever the
// module's default visibility.
#define QUORVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

#endif  // QUORVANE_PLATFORM_EXPORT_H_
