// The component system in one include: identifiers, results, interfaces,
// strings, variants, dispatch, type descriptions, error info, activation
// and apartments.
#ifndef QUORVANE_PLATFORM_COM_COM_H_
#define QUORVANE_PLATFORM_COM_COM_H_

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/type_description.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
#include "platform/win32/types.h"

#endif  // QUORVANE_PLATFORM_COM_COM_H_
