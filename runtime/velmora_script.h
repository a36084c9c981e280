// IVelmoraScript: the interface of the runtime object that test scripts
// call (published to them as "Quorvane"), with the identifiers under which
// the component server QuorvaneRuntime registers its one class,
// CVelmoraScript. The runner creates the object by class id through the
// component system and talks to it through this interface; scripts reach
// the same members by name through IDispatch.
//
// Every method returns an HRESULT; a failure leaves its description in the
// calling thread's error info (see platform/com/error_info.h). Out-strings
// are new BSTRs that the caller frees.
#ifndef QUORVANE_RUNTIME_VELMORA_SCRIPT_H_
#define QUORVANE_RUNTIME_VELMORA_SCRIPT_H_

#include "platform/com/dispatch.h"
#include "platform/com/guid.h"

// The runtime object's class (coclass VelmoraScript) and type library.
constexpr CLSID CLSID_VelmoraScript = Tavrin::Platform::Com::make_guid("{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}");
constexpr GUID LIBID_VelmoraRuntimeLib =
    Tavrin::Platform::Com::make_guid("{81C82C37-EDC3-4C64-A63D-D569167D27F8}");

// A dual interface: these methods follow IDispatch's in this order, and
// IDispatch reaches them by the DISPIDs below.
struct IVelmoraScript : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{CC22913D-1819-40B3-A75A-85FA6EB20BFA}");

  // Suspends the calling thread for `time` milliseconds (negative: none).
  virtual HRESULT Sleep(LONG time) = 0;
  // Prints the texts of the array's elements and a line feed on the console
  // channel "message". E_INVALIDARG for a null array.
  virtual HRESULT Echo(SAFEARRAY* args) = 0;
  // The running script's full path; empty until put.
  virtual HRESULT get_scriptFullName(BSTR* value) = 0;
  virtual HRESULT put_scriptFullName(BSTR value) = 0;
  // Creates the automation object of a program id.
  virtual HRESULT CreateObject(BSTR prog_id, IDispatch** object) = 0;
  // Passes a page command to the local proxy server; its value is the
  // command's whole answer (a JSON text naming the page it concerns).
  virtual HRESULT Remote(BSTR command, BSTR* value) = 0;
  // Runs another test script as a nested suite; its exit code.
  virtual HRESULT BenchExec(BSTR file_path, LONG* exit_code) = 0;
  // Sets / reads a run parameter of section "common".
  virtual HRESULT PutParameter(BSTR key, BSTR value) = 0;
  virtual HRESULT GetParameter(BSTR name, BSTR* value) = 0;
  // The local proxy server's request count.
  virtual HRESULT Ping(ULONGLONG* count) = 0;
  // Takes a screenshot; the path of the stored file.
  virtual HRESULT ScreenShot(BSTR name, BSTR* path) = 0;
  // Echoes one event of the run / registers and shows a page element.
  virtual HRESULT LogNode(BSTR uuid, BSTR type, BSTR name, BSTR value) = 0;
  virtual HRESULT LogElement(BSTR name, BSTR uuid) = 0;
  // A new random UUID in its 36-character lower-case text form.
  virtual HRESULT GenerateUUID(BSTR* uuid) = 0;
  // Opens `url` in `browser` through the local proxy server.
  virtual HRESULT OpenURL(BSTR browser, BSTR url) = 0;

 protected:
  ~IVelmoraScript() = default;
};
constexpr IID IID_IVelmoraScript = IVelmoraScript::kIid;

constexpr DISPID DISPID_VELMORA_SLEEP = 1;
constexpr DISPID DISPID_VELMORA_ECHO = 2;
constexpr DISPID DISPID_VELMORA_SCRIPT_FULL_NAME = 3;
constexpr DISPID DISPID_VELMORA_CREATE_OBJECT = 4;
constexpr DISPID DISPID_VELMORA_REMOTE = 5;
constexpr DISPID DISPID_VELMORA_BENCH_EXEC = 6;
constexpr DISPID DISPID_VELMORA_PUT_PARAMETER = 7;
constexpr DISPID DISPID_VELMORA_GET_PARAMETER = 8;
constexpr DISPID DISPID_VELMORA_PING = 9;
constexpr DISPID DISPID_VELMORA_SCREEN_SHOT = 10;
constexpr DISPID DISPID_VELMORA_LOG_NODE = 11;
constexpr DISPID DISPID_VELMORA_LOG_ELEMENT = 12;
constexpr DISPID DISPID_VELMORA_GENERATE_UUID = 13;
constexpr DISPID DISPID_VELMORA_OPEN_URL = 14;

#endif  // QUORVANE_RUNTIME_VELMORA_SCRIPT_H_
