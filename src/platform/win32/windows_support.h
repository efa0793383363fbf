#pragma once

// What every Windows part of the plug-in needs: owners for the system's
// handles and objects (none is closed by hand), text in both encodings, and
// the module the code runs in.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
// clang-format on

#include <string>
#include <string_view>
#include <utility>

namespace artnet::win32 {

using Microsoft::WRL::ComPtr;

// Owns a handle that `Close` releases; `Invalid` is the value that holds none.
template <typename Handle, auto Close, Handle Invalid = Handle{}>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Invalid)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Invalid));
    return *this;
  }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid; }
  // For calls that fill in a handle: releases the one held first.
  Handle* Out() {
    Reset();
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, Invalid); }
  void Reset(Handle handle = Invalid) {
    if (handle_ != Invalid) Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Invalid;
};

using UniqueSocket = Owned<SOCKET, &closesocket, INVALID_SOCKET>;
using UniqueHandle = Owned<HANDLE, &CloseHandle>;
using RegistryKey = Owned<HKEY, &RegCloseKey>;
using GdiFont = Owned<HFONT, &DeleteObject>;
using Bstr = Owned<BSTR, &SysFreeString>;
using WindowsHook = Owned<HHOOK, &UnhookWindowsHookEx>;
using UniqueWindow = Owned<HWND, &DestroyWindow>;

// A VARIANT that is cleared when it goes.
class Variant {
 public:
  Variant() { V_VT(&value_) = VT_EMPTY; }  // all VariantInit does
  ~Variant() {
    if (OwnsSomething(V_VT(&value_))) VariantClear(&value_);
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* Get() { return &value_; }

 private:
  // Plain numbers by value (VT_EMPTY..VT_DATE, VT_ERROR, VT_BOOL, VT_I1..VT_UINT)
  // hold nothing to release; the hot calls carry only those.
  static bool OwnsSomething(VARTYPE type) {
    constexpr unsigned long kPlain = 0xFFUL | (1UL << VT_ERROR) | (1UL << VT_BOOL) | (0xFFUL << VT_I1);
    return type > VT_UINT || (kPlain & (1UL << type)) == 0;
  }

  VARIANT value_;
};

// The IUnknown of a COM object that outlives every reference to it (a static
// object, or one its owner destroys): counting does nothing, and it answers
// for IUnknown and `Interface` only.
template <typename Interface>
class StaticUnknown : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 protected:
  ~StaticUnknown() = default;
};

// A window's device context, released when it goes.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for as long as this lives; the
// one it replaced is selected back, so the context is left as found.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Text in a code page (UTF-8 by default, the engine's) to and from UTF-16
// (the system's); invalid sequences become U+FFFD.
std::wstring Wide(std::string_view text, UINT codePage = CP_UTF8);
std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8);

// The module this code is linked into: the plug-in's DLL, or a test program.
HMODULE OwnModule();
// Its full path, however long.
std::wstring ModulePath(HMODULE module);

}  // namespace artnet::win32
