// Reads a window the way a screen reader does, from another process, for the
// end-to-end tests:
//   accessibility_probe tree [CLASS]     the accessible tree of the visible
//       window of class CLASS ("Basic" by default): one line per object,
//       depth, role, name, states, screen rectangle, value and description,
//       tab-separated (tabs and line breaks inside a text become blanks)
//   accessibility_probe do NAME [CLASS]  the default action of the first
//       object named NAME
//   accessibility_probe hit X Y [CLASS]  role and name of the object at
//       screen point X, Y
// Output is UTF-8 (wprintf under Wine drops Chinese text). Exit codes: 0
// done, 1 no such window or object, or a call failed, 2 wrong arguments.
#include <windows.h>

#include <oleacc.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

// IID_IAccessible spelled out: a static MinGW link resolves the import
// library's data symbol to garbage.
const GUID kAccessibleInterfaceId = {
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Bounds on what a broken or hostile tree can make the probe do.
constexpr int kMaxDepth = 32;
constexpr int kMaxObjects = 2000;

void Write(const std::wstring& text) {
  if (text.empty()) return;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
}

std::wstring OneLine(std::wstring text) {
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
  }
  return text;
}

// Owns one COM reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : ptr_(adopted) {}
  Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      if (ptr_ != nullptr) ptr_->Release();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (ptr_ != nullptr) ptr_->Release();
  }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T** receive() { return &ptr_; }

 private:
  T* ptr_ = nullptr;
};

VARIANT Self() {
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

std::wstring TakeBstr(BSTR text) {
  std::wstring out = text != nullptr ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  return out;
}

std::wstring RoleName(long role) {
  switch (role) {
    case ROLE_SYSTEM_CLIENT:
      return L"client";
    case ROLE_SYSTEM_WINDOW:
      return L"window";
    case ROLE_SYSTEM_PUSHBUTTON:
      return L"push button";
    case ROLE_SYSTEM_STATICTEXT:
      return L"static text";
    case ROLE_SYSTEM_TEXT:
      return L"editable text";
    case ROLE_SYSTEM_PROGRESSBAR:
      return L"progress bar";
    case ROLE_SYSTEM_GRAPHIC:
      return L"graphic";
    case ROLE_SYSTEM_CHECKBUTTON:
      return L"check box";
    case ROLE_SYSTEM_RADIOBUTTON:
      return L"radio button";
    case ROLE_SYSTEM_GROUPING:
      return L"grouping";
    case ROLE_SYSTEM_DIALOG:
      return L"dialog";
    case ROLE_SYSTEM_PANE:
      return L"pane";
    default:
      return L"role " + std::to_wstring(role);
  }
}

std::wstring StateNames(long state) {
  static const struct {
    long bit;
    const wchar_t* name;
  } kStates[] = {
      {STATE_SYSTEM_FOCUSED, L"focused"},         {STATE_SYSTEM_FOCUSABLE, L"focusable"},
      {STATE_SYSTEM_UNAVAILABLE, L"unavailable"}, {STATE_SYSTEM_INVISIBLE, L"invisible"},
      {STATE_SYSTEM_OFFSCREEN, L"offscreen"},     {STATE_SYSTEM_CHECKED, L"checked"},
      {STATE_SYSTEM_READONLY, L"readonly"},       {STATE_SYSTEM_HOTTRACKED, L"hottracked"},
  };
  std::wstring names;
  for (const auto& entry : kStates) {
    if ((state & entry.bit) == 0) continue;
    if (!names.empty()) names += L',';
    names += entry.name;
  }
  return names;
}

struct Node {
  Ref<IAccessible> object;
  int depth = 0;
};

Ref<IAccessible> AsAccessible(IDispatch* dispatch) {
  Ref<IDispatch> owned(dispatch);
  Ref<IAccessible> accessible;
  if (dispatch == nullptr ||
      FAILED(dispatch->QueryInterface(kAccessibleInterfaceId,
                                      reinterpret_cast<void**>(accessible.receive())))) {
    return Ref<IAccessible>();
  }
  return accessible;
}

std::wstring Name(IAccessible* object) {
  BSTR name = nullptr;
  object->get_accName(Self(), &name);
  return TakeBstr(name);
}

long Role(IAccessible* object) {
  VARIANT role;
  ::VariantInit(&role);
  object->get_accRole(Self(), &role);
  const long value = role.vt == VT_I4 ? role.lVal : 0;
  ::VariantClear(&role);
  return value;
}

void PrintNode(IAccessible* object, int depth) {
  VARIANT state;
  ::VariantInit(&state);
  object->get_accState(Self(), &state);
  long left = 0, top = 0, width = 0, height = 0;
  object->accLocation(&left, &top, &width, &height, Self());
  BSTR value = nullptr;
  object->get_accValue(Self(), &value);
  BSTR description = nullptr;
  object->get_accDescription(Self(), &description);
  Write(std::to_wstring(depth) + L"\t" + RoleName(Role(object)) + L"\t" + OneLine(Name(object)) +
        L"\t" + StateNames(state.vt == VT_I4 ? state.lVal : 0) + L"\t" + std::to_wstring(left) +
        L"," + std::to_wstring(top) + L"," + std::to_wstring(width) + L"," +
        std::to_wstring(height) + L"\t" + OneLine(TakeBstr(value)) + L"\t" +
        OneLine(TakeBstr(description)) + L"\n");
  ::VariantClear(&state);
}

// Depth first, children in order, without recursion.
template <typename Visit>
bool Walk(Ref<IAccessible> root, Visit visit) {
  std::vector<Node> pending;
  pending.push_back(Node{std::move(root), 0});
  int seen = 0;
  while (!pending.empty() && seen < kMaxObjects) {
    Node node = std::move(pending.back());
    pending.pop_back();
    ++seen;
    if (visit(node.object.get(), node.depth)) return true;
    long count = 0;
    if (node.depth >= kMaxDepth || FAILED(node.object->get_accChildCount(&count))) continue;
    std::vector<Node> children;
    for (long i = 1; i <= count && i <= kMaxObjects; ++i) {
      VARIANT id;
      ::VariantInit(&id);
      id.vt = VT_I4;
      id.lVal = i;
      IDispatch* dispatch = nullptr;
      if (node.object->get_accChild(id, &dispatch) != S_OK) continue;
      Ref<IAccessible> child = AsAccessible(dispatch);
      if (child.get() != nullptr) children.push_back(Node{std::move(child), node.depth + 1});
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      pending.push_back(std::move(*it));
  }
  return false;
}

Ref<IAccessible> ClientObject(const wchar_t* class_name) {
  HWND hwnd = ::FindWindowW(class_name, nullptr);
  if (hwnd == nullptr || !::IsWindowVisible(hwnd)) return Ref<IAccessible>();
  Ref<IAccessible> client;
  if (FAILED(::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                          kAccessibleInterfaceId,
                                          reinterpret_cast<void**>(client.receive())))) {
    return Ref<IAccessible>();
  }
  return client;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"tree") {
    Ref<IAccessible> client = ClientObject(argc > 2 ? argv[2] : L"Basic");
    if (client.get() == nullptr) return 1;
    Walk(std::move(client), [](IAccessible* object, int depth) {
      PrintNode(object, depth);
      return false;
    });
    return 0;
  }
  if (command == L"do" && argc >= 3) {
    Ref<IAccessible> client = ClientObject(argc > 3 ? argv[3] : L"Basic");
    if (client.get() == nullptr) return 1;
    const std::wstring wanted = argv[2];
    HRESULT result = E_FAIL;
    const bool found = Walk(std::move(client), [&](IAccessible* object, int) {
      if (Name(object) != wanted) return false;
      result = object->accDoDefaultAction(Self());
      return true;
    });
    return found && SUCCEEDED(result) ? 0 : 1;
  }
  if (command == L"hit" && argc >= 4) {
    Ref<IAccessible> client = ClientObject(argc > 4 ? argv[4] : L"Basic");
    if (client.get() == nullptr) return 1;
    VARIANT hit;
    ::VariantInit(&hit);
    if (client->accHitTest(std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10),
                           &hit) != S_OK) {
      return 1;
    }
    if (hit.vt == VT_DISPATCH) {
      Ref<IAccessible> object = AsAccessible(hit.pdispVal);
      if (object.get() == nullptr) return 1;
      Write(RoleName(Role(object.get())) + L"\t" + OneLine(Name(object.get())) + L"\n");
    } else {
      Write(RoleName(Role(client.get())) + L"\t" + OneLine(Name(client.get())) + L"\n");
    }
    return 0;
  }
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr) return 2;
  ::CoInitialize(nullptr);
  const int code = Run(argc, argv);
  std::fflush(stdout);
  ::CoUninitialize();
  ::LocalFree(argv);
  return code;
}
