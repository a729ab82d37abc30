// AccessibleControl: the Active Accessibility object (IAccessible) through
// which screen readers, and UI Automation clients through their bridge, read
// a window's drawn controls. The window's client object stands for the root
// control; every other object for one exposed control: a visible control
// whose role (Control::GetAccessibleRole) is not kNone. The children of an
// object are the exposed controls below it up to the next exposed one, in
// tree (reading) order; buttons, texts and pictures have none.
//
// Child ids: CHILDID_SELF, 1..n for the object's own children, and, on the
// client object, -id for the control of accessible id id anywhere in the
// window (what NotifyWinEvent names). Locations are screen pixels: the
// controls' laid-out rectangles plus the client area's origin.
//
// Ownership: reference counted; clients may hold an object longer than the
// window or control lives, after which every call fails with
// CO_E_OBJNOTCONNECTED. Called on the window's UI thread (COM delivers calls
// from other processes there), which debug builds assert.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

#include "base/thread_checker.h"
#include "base/weak_callback.h"
#include "ui/core/control_ref.h"

namespace ui {

class Control;
class Window;

// IID_IAccessible spelled out: a static MinGW link resolves the import
// library's data symbol to garbage.
extern const GUID kAccessibleInterfaceId;

class AccessibleControl final : public IAccessible {
 public:
  // A new object holding one reference: the client object of |window|
  // (|control| nullptr) or the object of |control| in it.
  static AccessibleControl* Create(Window* window, Control* control);

  // The exposed controls |node| shows as children (the root's for nullptr).
  static std::vector<Control*> ExposedChildren(const Window& window, Control* node);
  // Whether |control| has an object of its own in the tree.
  static bool IsExposed(const Control* control);
  // The nearest exposed ancestor of |control| that has children, or nullptr
  // for the client object.
  static Control* ExposedParent(const Control* control);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: not offered (clients use the vtable).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

 private:
  AccessibleControl(Window* window, Control* control);
  ~AccessibleControl();

  // What a child id names: the client (control nullptr, client true), a
  // control, or nothing (ok false).
  struct Target {
    bool ok = false;
    bool client = false;
    Control* control = nullptr;
  };
  // The window while it lives.
  Window* LiveWindow() const;
  // Whether this object still stands for something.
  bool Alive() const;
  Control* Self() const { return control_.Get(); }
  Target Resolve(const VARIANT& child) const;
  // |control| as seen from this object: CHILDID_SELF for itself, else an
  // object.
  void ToVariant(Control* control, VARIANT* out) const;
  // The child of this object on the way up from |control|; nullptr when
  // |control| is this object's own control, and |inside| false when it lies
  // elsewhere in the window.
  Control* ChildOnPathTo(Control* control, bool& inside) const;

  LONG references_ = 1;
  Window* window_;
  std::weak_ptr<cbase::WeakFlag> window_alive_;
  // Empty for the client object.
  ControlRef control_;
  bool client_;
  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui
