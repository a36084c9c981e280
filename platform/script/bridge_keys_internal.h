// What the bridge keeps inside the engine (internal): names of hidden
// properties and stash entries, and the helpers for arrays and dates.
#ifndef QUORVANE_PLATFORM_SCRIPT_BRIDGE_KEYS_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_BRIDGE_KEYS_INTERNAL_H_

#include "platform/com/com.h"
#include "platform/script/engine_internal.h"

// Hidden property keys ("\xFF" prefix: never visible to scripts, and read
// from a proxy's target without its traps).
#define QUORVANE_KEY_DISPATCH "\xFF" "dispatch"   // bridged object: its IDispatch*
#define QUORVANE_KEY_OWNER "\xFF" "owner"         // member function: its object's IDispatch*
#define QUORVANE_KEY_MEMBERS "\xFF" "members"     // bridged object: member cache
#define QUORVANE_KEY_DISPID "\xFF" "dispid"       // member function: its DISPID
#define QUORVANE_KEY_FLAGS "\xFF" "flags"         // member function: its Invoke flags
#define QUORVANE_KEY_ARRAY "\xFF" "array"         // VBArray: its SAFEARRAY*
#define QUORVANE_KEY_ENUM "\xFF" "enum"           // Enumerator: its IEnumVARIANT*
#define QUORVANE_KEY_ITEM "\xFF" "item"           // Enumerator: the current element
#define QUORVANE_KEY_AT_END "\xFF" "atEnd"        // Enumerator: whether it is past the end
// Stash entries.
#define QUORVANE_STASH_ENGINE "engine"
#define QUORVANE_STASH_HANDLER "dispatchHandler"
#define QUORVANE_STASH_VBARRAY "vbarrayPrototype"
#define QUORVANE_STASH_VALUES "heldValues"

namespace Tavrin::Platform::Script {

// Sets up the dispatch proxy handler in the stash.
void install_dispatch_handler(duk_context* ctx);
// Sets up ActiveXObject, VBArray and Enumerator.
void install_globals(duk_context* ctx);

// Pushes a VBArray value holding a copy of `array`.
void push_array(duk_context* ctx, SAFEARRAY* array);
// The array of a VBArray value at `index`, or null.
SAFEARRAY* bridged_array(duk_context* ctx, int index);

void push_date(duk_context* ctx, DATE date);
bool is_date(duk_context* ctx, int index);
DATE date_of(duk_context* ctx, int index);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_BRIDGE_KEYS_INTERNAL_H_
