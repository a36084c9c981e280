// Export macro of libQuorvanePlatform, the layer that stands in for the
// Windows interfaces. Everything not marked is hidden.
#ifndef QUORVANE_PLATFORM_EXPORT_H_
#define QUORVANE_PLATFORM_EXPORT_H_

#define QUORVANE_PLATFORM_EXPORT __attribute__((visibility("default")))

#endif  // QUORVANE_PLATFORM_EXPORT_H_
