// Export macro of libQuorvaneCommon. Everything not marked is hidden.
#ifndef QUORVANE_COMMON_EXPORT_H_
#define QUORVANE_COMMON_EXPORT_H_

#define QUORVANE_COMMON_EXPORT __attribute__((visibility("default")))

#endif  // QUORVANE_COMMON_EXPORT_H_
