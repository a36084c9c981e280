// Export macro of libQuorvaneScript, the script engine and the automation
// classes that scripts use. Everything not marked is hidden.
#ifndef QUORVANE_PLATFORM_SCRIPT_EXPORT_H_
#define QUORVANE_PLATFORM_SCRIPT_EXPORT_H_

#define QUORVANE_SCRIPT_EXPORT __attribute__((visibility("default")))

#endif  // QUORVANE_PLATFORM_SCRIPT_EXPORT_H_
