// IDispatch, automation's late-bound interface, and ITypeInfo, the type
// description of a dispatch interface.
//
// A caller finds a member's DISPID by name (GetIDsOfNames, names compared
// without regard to case) and calls it with Invoke. The arguments travel in
// DISPPARAMS in reverse order: rgvarg[cArgs - 1] is the first argument. A
// property put passes its value as the one named argument DISPID_PROPERTYPUT.
// An out-parameter is passed as VT_BYREF | kind (or VT_BYREF | VT_VARIANT)
// pointing at the caller's storage; a retval comes back in *result.
// When the member fails and `excep_info` is given, Invoke returns
// DISP_E_EXCEPTION and fills *excep_info: scode is the member's HRESULT,
// bstrDescription and bstrSource come from the error info the member set
// (see error_info.h); the caller frees the BSTRs. Without `excep_info`
// Invoke returns the member's HRESULT and leaves the error info for
// GetErrorInfo.
//
// GetTypeInfo gives the interface's members with their DISPIDs, kinds
// (method, property get, property put), parameters, variable argument list
// flag and help strings, so that a script bridge can tell how to call a
// member. type_description.h builds both interfaces from a static table.
#ifndef QUORVANE_PLATFORM_COM_DISPATCH_H_
#define QUORVANE_PLATFORM_COM_DISPATCH_H_

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

// Invoke's flags; also INVOKEKIND values of type descriptions.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

// ---- type descriptions -----------------------------------------------------

enum TYPEKIND { TKIND_DISPATCH = 4, TKIND_INTERFACE = 3, TKIND_COCLASS = 5 };
enum INVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };
enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL = 1, FUNC_NONVIRTUAL = 2, FUNC_STATIC = 3, FUNC_DISPATCH = 4 };

// Flags of a parameter.
constexpr USHORT PARAMFLAG_NONE = 0;
constexpr USHORT PARAMFLAG_FIN = 0x1;
constexpr USHORT PARAMFLAG_FOUT = 0x2;
constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
constexpr USHORT PARAMFLAG_FOPT = 0x10;

// Flags of an interface.
constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
};

// A parameter or result: its kind and flags. An out-parameter reports the
// kind it points at.
struct ELEMDESC {
  VARTYPE vt;
  USHORT wParamFlags;
};

struct FUNCDESC {
  MEMBERID memid;
  ELEMDESC* lprgelemdescParam;  // cParams entries
  FUNCKIND funckind;
  INVOKEKIND invkind;
  SHORT cParams;
  SHORT cParamsOpt;  // -1: the last parameter takes a variable argument list
  ELEMDESC elemdescFunc;  // VT_HRESULT: every member returns an HRESULT
  WORD wFuncFlags;
};

struct ITypeInfo : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00020401-0000-0000-C000-000000000046}");

  // The interface's attributes; free with ReleaseTypeAttr.
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  // Member number `index` (0 to cFuncs - 1, in interface order); free with
  // ReleaseFuncDesc. TYPE_E_ELEMENTNOTFOUND past the end.
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
  // The member's name followed by its parameters' names, at most `max`;
  // *count says how many were written. The caller frees the BSTRs.
  // TYPE_E_ELEMENTNOTFOUND for an unknown id.
  virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) = 0;
  // Name and help string of a member (MEMBERID_NIL: of the interface); each
  // out-pointer may be null; a missing help string is a null BSTR.
  virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context,
                                   BSTR* help_file) = 0;
  // Name lookup as IDispatch::GetIDsOfNames, but only the first name.
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  // Calls a member of `instance`, an IDispatch of this interface, as
  // IDispatch::Invoke does.
  virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep_info, UINT* arg_err) = 0;

 protected:
  ~ITypeInfo() = default;
};
constexpr IID IID_ITypeInfo = ITypeInfo::kIid;
constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

struct IDispatch : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00020400-0000-0000-C000-000000000046}");

  // *count = 1 when GetTypeInfo answers, else 0.
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  // The type description (index 0 only; DISP_E_BADINDEX otherwise).
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  // The DISPID of names[0] (case-insensitive) in ids[0]; further names are
  // parameters of that member, whose ids are their 0-based positions.
  // DISP_E_UNKNOWNNAME when any name is unknown (its id is DISPID_UNKNOWN).
  // `iid` must be GUID_NULL.
  virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  // Calls member `id` as a method, property get or put (`flags`); see the
  // header comment for arguments, out-parameters and failures. Other
  // results: DISP_E_MEMBERNOTFOUND (no member of that id and kind),
  // DISP_E_BADPARAMCOUNT, DISP_E_NONAMEDARGS, DISP_E_TYPEMISMATCH or
  // DISP_E_OVERFLOW (with *arg_err the rgvarg index of the argument that did
  // not convert).
  virtual HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excep_info, UINT* arg_err) = 0;

 protected:
  ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;
constexpr IID IID_IDispatch = IDispatch::kIid;

#endif  // QUORVANE_PLATFORM_COM_DISPATCH_H_
