// How the runtime object's methods turn a failure into their result: every
// method catches whatever its work throws at its boundary and returns
// method_failure(...) from the catch block, which classifies the exception,
// sets the error description where the convention asks for one, and gives
// the HRESULT:
//
// | caught                                        | description               | result           |
// | _com_error whose facility is Windows (7)      | system message of the low | its HRESULT      |
// |                                               | 16 bits, else "Unknown    |                  |
// |                                               | error"                    |                  |
// | _com_error of another facility                | none                      | its HRESULT      |
// | a Windows error code thrown as a 32-bit       | system message of the     | HRESULT_FROM_    |
// | number (unsigned long, long, unsigned, int)   | code                      | WIN32 of it      |
// | a standard exception, when the method names a | that message              | E_FAIL           |
// | message for it                                |                           |                  |
// | anything else                                 | "Unknown error"           | E_UNEXPECTED     |
//
// Descriptions go to the calling thread's error info with the class id of
// CVelmoraScript as source and IVelmoraScript as interface.
#ifndef QUORVANE_RUNTIME_ERROR_CONVENTION_H_
#define QUORVANE_RUNTIME_ERROR_CONVENTION_H_

#include <string>

#include "platform/com/hresult.h"

namespace Tavrin::Runtime {

// Call only inside a catch block. `standard_message` is the description for
// a standard exception; null when the method names none (the exception then
// counts as "anything else").
HRESULT method_failure(const wchar_t* standard_message = nullptr) noexcept;

// Sets `description` as the calling thread's error info, as the convention
// does. Never throws.
void set_error_description(const std::wstring& description) noexcept;

// The HRESULT of a Windows error code thrown as a number: HRESULT_FROM_WIN32
// when positive, the code itself otherwise.
HRESULT hresult_of_error_code(long long code);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_ERROR_CONVENTION_H_
