// Window classes, windows and their procedures, styles, geometry, focus and activation.
#include <unistd.h>

#include <sys/syscall.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/window/ScreenMode.h"
#include "platform/window/WindowState.h"

namespace window_internal {

State& S() {
  static State state;
  return state;
}

HandleCounters& Counters() {
  static HandleCounters counters;
  return counters;
}

std::mutex& QueueMutex() {
  static std::mutex mutex;
  return mutex;
}

Window* Find(uintptr_t id) {
  if (id == 0) return nullptr;
  auto& windows = S().windows;
  auto it = windows.find(id);
  return it == windows.end() ? nullptr : it->second.get();
}
Window* Find(HWND hwnd) { return Find(Id(hwnd)); }

LRESULT Send(uintptr_t id, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(id);
  if (!w || !w->proc) return 0;
  return w->proc(H(id), message, wParam, lParam);
}

bool RectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (RectEmpty(r)) r = RECT{0, 0, 0, 0};
  return r;
}
RECT Union(const RECT& a, const RECT& b) {
  if (RectEmpty(a)) return b;
  if (RectEmpty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}
RECT Offset(const RECT& r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }
bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// The classic metrics: a sizing frame of 4, a dialog frame of 3, a caption of 19 (its
// bottom line included), so an overlapped window's frame is (4, 23, 4, 4).
RECT NonClientInsets(DWORD style, DWORD exStyle) {
  int edge = 0;
  if (style & WS_THICKFRAME) {
    edge = 4;
  } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    edge = 3;
  } else if (style & WS_BORDER) {
    edge = 1;
  }
  if (exStyle & WS_EX_CLIENTEDGE) edge += 2;
  if (exStyle & WS_EX_STATICEDGE) edge += 1;
  int caption = 0;
  if ((style & WS_CAPTION) == WS_CAPTION) caption = (exStyle & WS_EX_TOOLWINDOW) ? 16 : 19;
  return RECT{edge, edge + caption, edge, edge};
}

RECT ClientRectLocal(const Window& w) {
  const RECT in = NonClientInsets(w.style, w.exStyle);
  const int width = std::max(0, (w.rect.right - w.rect.left) - in.left - in.right);
  const int height = std::max(0, (w.rect.bottom - w.rect.top) - in.top - in.bottom);
  return RECT{0, 0, width, height};
}

POINT ClientOriginInBuffer(const Window& w) {
  if (!w.IsChild()) return POINT{0, 0};
  const Window* parent = Find(w.parent);
  POINT origin = parent ? ClientOriginInBuffer(*parent) : POINT{0, 0};
  const RECT in = NonClientInsets(w.style, w.exStyle);
  return POINT{origin.x + w.rect.left + in.left, origin.y + w.rect.top + in.top};
}

POINT ClientOriginOnScreen(const Window& w) {
  const RECT in = NonClientInsets(w.style, w.exStyle);
  if (!w.IsChild()) return POINT{w.rect.left + in.left, w.rect.top + in.top};
  const Window* parent = Find(w.parent);
  POINT origin = parent ? ClientOriginOnScreen(*parent) : POINT{0, 0};
  return POINT{origin.x + w.rect.left + in.left, origin.y + w.rect.top + in.top};
}

bool Visible(const Window& w) {
  for (const Window* p = &w; p; p = p->IsChild() ? Find(p->parent) : nullptr) {
    if (!(p->style & WS_VISIBLE)) return false;
  }
  return true;
}

bool EnabledChain(const Window& w) {
  for (const Window* p = &w; p; p = p->IsChild() ? Find(p->parent) : nullptr) {
    if (p->style & WS_DISABLED) return false;
  }
  return true;
}

RECT VisibleClientInBuffer(const Window& w) {
  if (!Visible(w)) return RECT{0, 0, 0, 0};
  POINT origin = ClientOriginInBuffer(w);
  RECT r = Offset(ClientRectLocal(w), origin.x, origin.y);
  for (const Window* p = w.IsChild() ? Find(w.parent) : nullptr; p; p = p->IsChild() ? Find(p->parent) : nullptr) {
    POINT po = ClientOriginInBuffer(*p);
    r = Intersect(r, Offset(ClientRectLocal(*p), po.x, po.y));
  }
  return r;
}

Window* Root(Window* w) {
  while (w && w->IsChild()) w = Find(w->parent);
  return w;
}

NativeShape ShapeFor(const Window& w) {
  NativeShape shape;
  const RECT client = ClientRectLocal(w);
  const POINT origin = ClientOriginOnScreen(w);
  shape.client = Offset(client, origin.x, origin.y);
  shape.caption = w.text;
  shape.bordered = (w.style & WS_CAPTION) == WS_CAPTION;
  shape.resizable = (w.style & WS_THICKFRAME) != 0;
  shape.topmost = (w.exStyle & WS_EX_TOPMOST) != 0;
  shape.toolWindow = (w.exStyle & WS_EX_TOOLWINDOW) != 0;
  shape.owner = w.owner;
  int sw = 0, sh = 0;
  if (S().presenter) ProgramScreenSize(&sw, &sh);
  shape.fullScreen = !shape.bordered && shape.client.left <= 0 && shape.client.top <= 0 && shape.client.right >= sw &&
                    shape.client.bottom >= sh;
  return shape;
}

void ResizeBuffer(Window& top) {
  const RECT client = ClientRectLocal(top);
  const int width = std::clamp<int>(client.right, 1, kMaxWindowExtent);
  const int height = std::clamp<int>(client.bottom, 1, kMaxWindowExtent);
  if (top.buffer && top.buffer->width == width && top.buffer->height == height) return;
  SettlePicture(top);
  // A DC handed out earlier keeps the old buffer alive until it is released.
  auto fresh = std::make_shared<BackBuffer>();
  fresh->width = width;
  fresh->height = height;
  fresh->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  if (top.buffer) {
    const int w = std::min(width, top.buffer->width);
    const int h = std::min(height, top.buffer->height);
    for (int y = 0; y < h; ++y) {
      std::copy_n(top.buffer->pixels.begin() + static_cast<ptrdiff_t>(y) * top.buffer->width, w,
                  fresh->pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    }
  }
  top.buffer = std::move(fresh);
}

}  // namespace window_internal

using namespace window_internal;

namespace {

std::string Lower(const char* text) {
  std::string s = text ? text : "";
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsAtom(const char* name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

const WindowClass* FindClass(const char* name) {
  if (!name) return nullptr;
  if (IsAtom(name)) {
    const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
    for (auto& [key, cls] : S().classes) {
      if (cls->atom == atom) return cls.get();
    }
    return nullptr;
  }
  auto it = S().classes.find(Lower(name));
  return it == S().classes.end() ? nullptr : it->second.get();
}

// The platform cascades windows whose position it chooses.
POINT DefaultPosition() {
  const int step = 26 * (S().cascade++ % 8);
  return POINT{40 + step, 40 + step};
}

void UnlinkWindow(Window& w) {
  State& s = S();
  if (w.IsChild()) {
    if (Window* parent = Find(w.parent)) {
      auto& list = parent->children;
      list.erase(std::remove(list.begin(), list.end(), w.id), list.end());
    }
  } else {
    s.topOrder.erase(std::remove(s.topOrder.begin(), s.topOrder.end(), w.id), s.topOrder.end());
  }
}

std::vector<uintptr_t>& Siblings(Window& w) {
  if (w.IsChild()) {
    if (Window* parent = Find(w.parent)) return parent->children;
  }
  return S().topOrder;
}

bool WithinTree(uintptr_t candidate, uintptr_t ancestor) {
  for (Window* w = Find(candidate); w; w = w->IsChild() ? Find(w->parent) : nullptr) {
    if (w->id == ancestor) return true;
  }
  return false;
}

void SendDestroyTree(uintptr_t id) {
  Send(id, WM_DESTROY, 0, 0);
  Window* w = Find(id);
  if (!w) return;
  const std::vector<uintptr_t> children = w->children;
  for (uintptr_t child : children) {
    if (Window* c = Find(child); c && !c->destroying) {
      c->destroying = true;
      SendDestroyTree(child);
    }
  }
  Send(id, WM_NCDESTROY, 0, 0);
  ForgetWindow(id);
}

// Moves or resizes a window, keeping its back buffer, its native window and the
// invalid areas in step, and tells it through WM_WINDOWPOSCHANGED.
void ApplyBounds(Window& w, const RECT& rect, UINT flags) {
  const RECT oldRect = w.rect;
  const RECT oldClient = ClientRectLocal(w);
  Window* parent = w.IsChild() ? Find(w.parent) : nullptr;
  if (parent && Visible(w)) {
    // The place the child leaves must be drawn again by its parent.
    InvalidateTree(*parent, oldRect, true);
  }
  w.rect = rect;
  const RECT newClient = ClientRectLocal(w);
  const bool moved = oldRect.left != rect.left || oldRect.top != rect.top;
  const bool sized = (oldRect.right - oldRect.left) != (rect.right - rect.left) ||
                     (oldRect.bottom - oldRect.top) != (rect.bottom - rect.top) ||
                     oldClient.right != newClient.right || oldClient.bottom != newClient.bottom;
  if (!w.IsChild()) {
    ResizeBuffer(w);
    if (w.nativeOpen && S().presenter) S().presenter->Reshape(w.id, ShapeFor(w));
  }
  if (sized || (flags & SWP_FRAMECHANGED) || (parent && moved)) InvalidateTree(w, ClientRectLocal(w), true);
  if (parent && Visible(w)) InvalidateTree(*parent, rect, true);
  WINDOWPOS pos{H(w.id), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, flags};
  if (!moved) pos.flags |= SWP_NOMOVE;
  if (!sized) pos.flags |= SWP_NOSIZE;
  if (moved || sized || (flags & (SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_HIDEWINDOW))) {
    Send(w.id, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  }
}

void ShowState(Window& w, bool show) {
  if (show) {
    w.style |= WS_VISIBLE;
    if (!w.IsChild() && w.nativeOpen && S().presenter) S().presenter->Show(w.id, true);
    InvalidateTree(w, ClientRectLocal(w), true);
  } else {
    w.style &= ~WS_VISIBLE;
    if (!w.IsChild() && w.nativeOpen && S().presenter) S().presenter->Show(w.id, false);
    if (w.IsChild()) {
      if (Window* parent = Find(w.parent)) InvalidateTree(*parent, w.rect, true);
    }
  }
}

void Minimize(Window& w) {
  if (w.minimized) return;
  const uintptr_t id = w.id;
  w.minimized = true;
  if (!w.IsChild() && w.nativeOpen && S().presenter) S().presenter->Minimize(id);
  Send(id, WM_SIZE, SIZE_MINIMIZED, 0);
  if (S().active == id) ActivateNextAfter(id);
}

void Restore(Window& w) {
  if (!w.minimized && !w.maximized) return;
  const uintptr_t id = w.id;
  w.minimized = false;
  w.maximized = false;
  const RECT client = ClientRectLocal(w);
  Send(id, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  if (Window* still = Find(id)) InvalidateTree(*still, ClientRectLocal(*still), true);
}

}  // namespace

namespace window_internal {

// Removes every trace of a window once its last message has been sent.
void ForgetWindow(uintptr_t id) {
  State& s = S();
  Window* w = Find(id);
  if (!w) return;
  UnlinkWindow(*w);
  if (!w->IsChild() && w->nativeOpen && s.presenter) s.presenter->Close(id);
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [id](const Timer& t) { return t.window == id; }),
                 s.timers.end());
  if (s.focus == id) s.focus = 0;
  if (s.capture == id) {
    s.capture = 0;
    if (s.presenter) s.presenter->SetCapture(id, false);
  }
  if (s.active == id) s.active = 0;
  if (s.lastActive == id) s.lastActive = 0;
  {
    std::lock_guard lock(QueueMutex());
    s.liveIds.erase(id);
  }
  s.windows.erase(id);
}

void ActivateNextAfter(uintptr_t leaving) {
  State& s = S();
  Window* w = Find(leaving);
  auto eligible = [&](uintptr_t id) {
    Window* c = Find(id);
    return c && id != leaving && !c->destroying && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED) &&
           !c->minimized;
  };
  uintptr_t next = 0;
  if (w && eligible(w->owner)) next = w->owner;
  if (!next) {
    for (uintptr_t id : s.topOrder) {
      if (eligible(id)) {
        next = id;
        break;
      }
    }
  }
  if (!next) {
    // Only disabled windows of ours are left, as when a modal dialog hides before its
    // owner is enabled again. Activation is then nowhere for a moment, but it has not
    // left the application: no WM_ACTIVATEAPP, since the owner is about to take it back.
    const bool othersShown = std::any_of(s.topOrder.begin(), s.topOrder.end(), [&](uintptr_t id) {
      Window* c = Find(id);
      return c && id != leaving && !c->destroying && (c->style & WS_VISIBLE) && !c->minimized;
    });
    if (othersShown && s.appActive && s.active == leaving) {
      const uintptr_t old = s.active;
      const int minimized = (w && w->minimized) ? 1 : 0;
      s.active = 0;
      Send(old, WM_NCACTIVATE, FALSE, 0);
      Send(old, WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, minimized), 0);
      if (s.focus && WithinTree(s.focus, old)) SetFocus(nullptr);
      return;
    }
  }
  Activate(next, WA_ACTIVE, false);
}

void Activate(uintptr_t target, WORD how, bool fromNative) {
  State& s = S();
  Window* t = Root(Find(target));
  target = t ? t->id : 0;
  if (target == s.active && (target != 0 || !s.appActive)) {
    if (target && !fromNative && s.presenter) s.presenter->Raise(target);
    return;
  }
  const uintptr_t old = s.active;
  const bool entering = !s.appActive && target != 0;
  const bool leaving = s.appActive && target == 0;
  s.active = target;
  if (target) {
    auto& order = s.topOrder;
    order.erase(std::remove(order.begin(), order.end(), target), order.end());
    order.insert(order.begin(), target);
  }
  if (Window* o = Find(old)) {
    const int minimized = o->minimized ? 1 : 0;
    Send(old, WM_NCACTIVATE, FALSE, 0);
    Send(old, WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, minimized), static_cast<LPARAM>(target));
  }
  if (leaving) {
    s.appActive = false;
    NoteAppDeactivated();
    s.lastActive = old;
    const std::vector<uintptr_t> tops = s.topOrder;
    for (uintptr_t id : tops) Send(id, WM_ACTIVATEAPP, FALSE, 0);
    if (s.focus) {
      const uintptr_t f = s.focus;
      s.focus = 0;
      Send(f, WM_KILLFOCUS, 0, 0);
    }
    return;
  }
  if (entering) {
    s.appActive = true;
    const std::vector<uintptr_t> tops = s.topOrder;
    for (uintptr_t id : tops) Send(id, WM_ACTIVATEAPP, TRUE, 0);
  }
  if (s.active != target) return;  // a handler moved activation on already
  Window* n = Find(target);
  if (!n) return;
  if (!fromNative && s.presenter) s.presenter->Raise(target);
  const int minimized = n->minimized ? 1 : 0;
  Send(target, WM_NCACTIVATE, TRUE, 0);
  Send(target, WM_ACTIVATE, MAKELPARAM(how, minimized), static_cast<LPARAM>(old));
  // The focus may not stay in a window that is no longer active.
  if (s.focus && s.active == target && !WithinTree(s.focus, target)) SetFocus(nullptr);
}

}  // namespace window_internal

// ---------------------------------------------------------------------------------------
// Classes.

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || IsAtom(wc->lpszClassName) || !wc->lpfnWndProc) return 0;
  const std::string key = Lower(wc->lpszClassName);
  if (key.empty() || S().classes.count(key)) return 0;
  auto cls = std::make_unique<WindowClass>();
  cls->name = wc->lpszClassName;
  cls->atom = Counters().atom++;
  cls->wc = *wc;
  cls->wc.lpszClassName = cls->name.c_str();
  cls->wc.lpszMenuName = nullptr;
  const ATOM atom = cls->atom;
  S().classes[key] = std::move(cls);
  return atom;
}

BOOL UnregisterClassA(const char* className, HINSTANCE) {
  const WindowClass* cls = FindClass(className);
  if (!cls) return FALSE;
  for (auto& [id, w] : S().windows) {
    if (w->cls == cls) return FALSE;  // still in use, as on the platform
  }
  S().classes.erase(Lower(cls->name.c_str()));
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, const char* className, WNDCLASSA* wc) {
  const WindowClass* cls = FindClass(className);
  if (!cls || !wc) return FALSE;
  *wc = cls->wc;
  return TRUE;
}

int GetClassNameA(HWND hwnd, char* buffer, int size) {
  Window* w = Find(hwnd);
  if (!w || !buffer || size <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(w->cls->name.size()), size - 1);
  std::memcpy(buffer, w->cls->name.data(), static_cast<size_t>(n));
  buffer[n] = 0;
  return n;
}

// ---------------------------------------------------------------------------------------
// Creation and destruction.

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                     int width, int height, HWND hwndParent, HMENU menu, HINSTANCE instance, void* param) {
  State& s = S();
  const WindowClass* cls = FindClass(className);
  if (!cls) return nullptr;
  const bool child = (style & WS_CHILD) != 0;
  Window* parent = Find(hwndParent);
  if (child && !parent) return nullptr;
  if (!child && hwndParent && !parent) return nullptr;
  if (!EnsurePresenterNow()) return nullptr;

  auto record = std::make_unique<Window>();
  Window& w = *record;
  w.id = Counters().window;
  Counters().window += 4;
  w.cls = cls;
  w.proc = cls->wc.lpfnWndProc;
  w.style = style & ~WS_VISIBLE;
  w.exStyle = exStyle;
  w.instance = instance;
  w.text = windowName ? windowName : "";
  if (child) {
    w.parent = parent->id;
    w.ctrlId = reinterpret_cast<LONG_PTR>(menu);
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 0;
  } else {
    w.owner = parent ? Root(parent)->id : 0;
    if (x == CW_USEDEFAULT) {
      const POINT p = DefaultPosition();
      x = p.x;
      y = p.y;
    }
    if (width == CW_USEDEFAULT) {
      width = 640;
      height = 480;
    }
  }
  width = std::clamp(width, 0, kMaxWindowExtent);
  height = std::clamp(height, 0, kMaxWindowExtent);
  w.rect = RECT{x, y, x + width, y + height};
  const uintptr_t id = w.id;
  s.windows[id] = std::move(record);
  {
    std::lock_guard lock(QueueMutex());
    s.liveIds.insert(id);
  }
  if (child) {
    parent->children.insert(parent->children.begin(), id);
  } else {
    s.topOrder.insert(s.topOrder.begin(), id);
    ResizeBuffer(w);
    if (!s.presenter->Open(id, ShapeFor(w))) {
      ForgetWindow(id);
      return nullptr;
    }
    w.nativeOpen = true;
  }

  CREATESTRUCTA cs{param, instance, menu, hwndParent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!Send(id, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    if (Find(id)) {
      Send(id, WM_NCDESTROY, 0, 0);
      ForgetWindow(id);
    }
    return nullptr;
  }
  if (!Find(id) || Send(id, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(H(id));
    return nullptr;
  }
  Window* created = Find(id);
  if (!created) return nullptr;
  const RECT client = ClientRectLocal(*created);
  Send(id, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  if (!(created = Find(id))) return nullptr;
  const POINT origin = created->IsChild() ? POINT{created->rect.left + NonClientInsets(created->style, created->exStyle).left,
                                                  created->rect.top + NonClientInsets(created->style, created->exStyle).top}
                                          : ClientOriginOnScreen(*created);
  Send(id, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
  if ((style & WS_VISIBLE) && Find(id)) {
    if (child) {
      ShowState(*Find(id), true);
    } else {
      ShowWindow(H(id), SW_SHOW);
    }
  }
  return Find(id) ? H(id) : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  State& s = S();
  Window* w = Find(hwnd);
  if (!w || w->destroying) return FALSE;
  const uintptr_t id = w->id;
  w->destroying = true;
  // Owned windows go first, whole, as on the platform.
  if (!w->IsChild()) {
    const std::vector<uintptr_t> tops = s.topOrder;
    for (uintptr_t other : tops) {
      Window* o = Find(other);
      if (o && o->owner == id && !o->destroying) DestroyWindow(H(other));
    }
  }
  if (s.capture && WithinTree(s.capture, id)) ReleaseCapture();
  if (Find(id) && (Find(id)->style & WS_VISIBLE)) {
    Window& self = *Find(id);
    ShowState(self, false);
    if (s.active == id) ActivateNextAfter(id);
  } else if (s.active == id) {
    ActivateNextAfter(id);
  }
  if (s.focus && WithinTree(s.focus, id)) {
    const uintptr_t f = s.focus;
    s.focus = 0;
    Send(f, WM_KILLFOCUS, 0, 0);
  }
  if (!Find(id)) return TRUE;
  SendDestroyTree(id);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL IsChild(HWND parent, HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w || !Find(parent) || parent == hwnd) return FALSE;
  return WithinTree(w->id, Id(parent)) ? TRUE : FALSE;
}

HWND GetParent(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  return H(w->IsChild() ? w->parent : w->owner);
}

HWND SetParent(HWND hwnd, HWND newParent) {
  // Only children move between parents here; a top-level never becomes a child.
  Window* w = Find(hwnd);
  Window* p = Find(newParent);
  if (!w || !p || !w->IsChild() || WithinTree(p->id, w->id)) return nullptr;
  const uintptr_t old = w->parent;
  if (Window* op = Find(old)) InvalidateTree(*op, w->rect, true);
  UnlinkWindow(*w);
  w->parent = p->id;
  p->children.insert(p->children.begin(), w->id);
  InvalidateTree(*w, ClientRectLocal(*w), true);
  return H(old);
}

HWND GetAncestor(HWND hwnd, UINT kind) {
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  switch (kind) {
    case GA_PARENT:
      return w->IsChild() ? H(w->parent) : nullptr;
    case GA_ROOT:
      return H(Root(w)->id);
    case GA_ROOTOWNER: {
      Window* r = Root(w);
      while (r && Find(r->owner)) r = Find(r->owner);
      return r ? H(r->id) : nullptr;
    }
    default:
      return nullptr;
  }
}

HWND GetWindow(HWND hwnd, UINT relation) {
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  if (relation == GW_OWNER) return w->IsChild() ? nullptr : H(w->owner);
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : H(w->children.front());
  const auto& list = Siblings(*w);
  auto it = std::find(list.begin(), list.end(), w->id);
  if (it == list.end()) return nullptr;
  switch (relation) {
    case GW_HWNDFIRST:
      return H(list.front());
    case GW_HWNDLAST:
      return H(list.back());
    case GW_HWNDNEXT:
      return (it + 1) == list.end() ? nullptr : H(*(it + 1));
    case GW_HWNDPREV:
      return it == list.begin() ? nullptr : H(*(it - 1));
    default:
      return nullptr;
  }
}

HWND GetTopWindow(HWND hwnd) {
  if (!hwnd) return S().topOrder.empty() ? nullptr : H(S().topOrder.front());
  Window* w = Find(hwnd);
  return (w && !w->children.empty()) ? H(w->children.front()) : nullptr;
}

HWND GetDesktopWindow() { return nullptr; }

HWND FindWindowA(const char* className, const char* windowName) {
  const WindowClass* cls = className ? FindClass(className) : nullptr;
  if (className && !cls) return nullptr;
  for (uintptr_t id : S().topOrder) {
    Window* w = Find(id);
    if (!w) continue;
    if (cls && w->cls != cls) continue;
    if (windowName && w->text != windowName) continue;
    return H(id);
  }
  return nullptr;
}

HWND GetDlgItem(HWND parent, int id) {
  Window* p = Find(parent);
  if (!p) return nullptr;
  for (uintptr_t c : p->children) {
    Window* w = Find(c);
    if (w && w->ctrlId == id) return H(c);
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Window* w = Find(hwnd);
  return (w && w->IsChild()) ? static_cast<int>(w->ctrlId) : 0;
}

// ---------------------------------------------------------------------------------------
// Procedures.

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!proc) return 0;
  return proc(hwnd, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          if (!(w->cls->wc.style & CS_NOCLOSE)) SendMessageA(hwnd, WM_CLOSE, 0, 0);
          break;
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          break;
        case SC_MAXIMIZE:
          ShowWindow(hwnd, SW_MAXIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          break;
        default:
          break;
      }
      return 0;
    case WM_MOUSEWHEEL:
      // A child that does not scroll hands the wheel to its parent.
      if (w->IsChild()) return SendMessageA(H(w->parent), message, wParam, lParam);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (lParam & KF_ALTDOWN_BIT)) {
        if (Window* r = Root(w)) SendMessageA(H(r->id), WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->cls->wc.hbrBackground;
      const uintptr_t value = reinterpret_cast<uintptr_t>(brush);
      if (value > 0 && value <= 31) brush = GetSysColorBrush(static_cast<int>(value) - 1);
      if (!brush) return 0;
      RECT client = ClientRectLocal(*w);
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      return 1;
    }
    case WM_SETCURSOR: {
      if (w->IsChild() && SendMessageA(H(w->parent), WM_SETCURSOR, wParam, lParam)) return TRUE;
      if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && w->cls->wc.hCursor) {
        SetCursor(w->cls->wc.hCursor);
        return TRUE;
      }
      return FALSE;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && !WithinTree(S().focus, w->id)) SetFocus(hwnd);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!pos) return 0;
      if (!(pos->flags & SWP_NOMOVE)) {
        const RECT in = NonClientInsets(w->style, w->exStyle);
        const POINT origin = w->IsChild() ? POINT{w->rect.left + in.left, w->rect.top + in.top} : ClientOriginOnScreen(*w);
        SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
      }
      if (Find(hwnd) && (!(pos->flags & SWP_NOSIZE) || (pos->flags & SWP_FRAMECHANGED))) {
        const RECT client = ClientRectLocal(*Find(hwnd));
        SendMessageA(hwnd, WM_SIZE, Find(hwnd)->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                     MAKELPARAM(client.right, client.bottom));
      }
      return 0;
    }
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      if (!w->IsChild() && w->nativeOpen && S().presenter) S().presenter->SetCaption(w->id, w->text);
      return TRUE;
    case WM_GETTEXT: {
      char* buffer = reinterpret_cast<char*>(lParam);
      const int size = static_cast<int>(wParam);
      if (!buffer || size <= 0) return 0;
      const int n = std::min<int>(static_cast<int>(w->text.size()), size - 1);
      std::memcpy(buffer, w->text.data(), static_cast<size_t>(n));
      buffer[n] = 0;
      return n;
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_NCACTIVATE:
      return TRUE;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_NCHITTEST:
      return HTCLIENT;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------------------
// Window data.

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return static_cast<LONG_PTR>(w->IsChild() ? w->parent : w->owner);
    case GWL_STYLE:
      return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_ID:
      return w->ctrlId;
    default:
      return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  const LONG_PTR old = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) return 0;  // a window without a procedure could not answer anything
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_HINSTANCE:
      w->instance = reinterpret_cast<HINSTANCE>(value);
      break;
    case GWLP_HWNDPARENT:
      if (!w->IsChild()) {
        Window* o = Find(reinterpret_cast<HWND>(value));
        w->owner = o ? Root(o)->id : 0;
      }
      break;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      // The platform keeps the frame as it was until SWP_FRAMECHANGED; we follow the new
      // styles at once (without messages) so that no caller ends up with a native window
      // whose borders disagree with its styles.
      const DWORD v = static_cast<DWORD>(value);
      if (index == GWL_STYLE) {
        // WS_CHILD cannot be switched on an existing window here: the record's parent
        // relation would not follow.
        w->style = (v & ~WS_CHILD) | (w->style & WS_CHILD);
      } else {
        w->exStyle = v;
      }
      if (!w->IsChild()) {
        ResizeBuffer(*w);
        if (w->nativeOpen && S().presenter) S().presenter->Reshape(w->id, ShapeFor(*w));
      }
      InvalidateTree(*w, ClientRectLocal(*w), true);
      break;
    }
    case GWLP_USERDATA:
      w->userData = value;
      break;
    case GWLP_ID:
      w->ctrlId = value;
      break;
    default:
      return 0;
  }
  return old;
}

// The 32-bit forms cannot carry a pointer, so they refuse the procedure index.
LONG GetWindowLongA(HWND hwnd, int index) {
  if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) return 0;
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}
LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) return 0;
  if (index == GWL_STYLE || index == GWL_EXSTYLE) {
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
  }
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

BOOL SetWindowTextA(HWND hwnd, const char* text) {
  if (!Find(hwnd)) return FALSE;
  SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  return TRUE;
}

int GetWindowTextA(HWND hwnd, char* buffer, int size) {
  if (!Find(hwnd) || !buffer || size <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
  if (!Find(hwnd)) return 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

std::string GetWindowTextString(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int n = GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::clamp(n, 0, length)));
  return text;
}

// ---------------------------------------------------------------------------------------
// Showing, moving, sizing.

BOOL ShowWindow(HWND hwnd, int command) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  const uintptr_t id = w->id;
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  switch (command) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      Send(id, WM_SHOWWINDOW, FALSE, 0);
      if (!(w = Find(id))) return TRUE;
      ShowState(*w, false);
      ApplyBounds(*w, w->rect, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (S().active == id) ActivateNextAfter(id);
      if (S().focus && WithinTree(S().focus, id)) SetFocus(S().active ? H(S().active) : nullptr);
      return TRUE;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      if (!wasVisible) {
        Send(id, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = Find(id))) return FALSE;
        ShowState(*w, true);
      }
      Minimize(*w);
      return wasVisible ? TRUE : FALSE;
    default:
      break;
  }
  // The showing commands.
  if (!wasVisible) {
    Send(id, WM_SHOWWINDOW, TRUE, 0);
    if (!(w = Find(id))) return FALSE;
    ShowState(*w, true);
    ApplyBounds(*w, w->rect, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    if (!(w = Find(id))) return FALSE;
  }
  if (command == SW_RESTORE || command == SW_SHOWNORMAL || command == SW_SHOWDEFAULT) {
    Restore(*w);
    if (!(w = Find(id))) return wasVisible ? TRUE : FALSE;
  }
  if (command == SW_MAXIMIZE && !w->maximized && !w->IsChild()) {
    int sw = 0, sh = 0;
    ProgramScreenSize(&sw, &sh);
    const RECT in = NonClientInsets(w->style, w->exStyle);
    w->maximized = true;
    w->minimized = false;
    ApplyBounds(*w, RECT{-in.left, -in.top, sw + in.right, sh + in.bottom}, SWP_NOZORDER);
    if (!(w = Find(id))) return wasVisible ? TRUE : FALSE;
  }
  const bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
  if (activate && !w->IsChild() && !(w->style & WS_DISABLED)) Activate(id, WA_ACTIVE, false);
  return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  Window* w = Find(hwnd);
  return (w && Visible(*w)) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  Window* w = Find(hwnd);
  return (w && w->minimized) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
  Window* w = Find(hwnd);
  return (w && w->maximized) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : static_cast<UINT>(SWP_NOREDRAW)));
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  const uintptr_t id = w->id;
  RECT rect = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    const int cw = rect.right - rect.left, ch = rect.bottom - rect.top;
    rect = RECT{x, y, x + cw, y + ch};
  }
  if (!(flags & SWP_NOSIZE)) {
    width = std::clamp(width, 0, kMaxWindowExtent);
    height = std::clamp(height, 0, kMaxWindowExtent);
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
  }
  if (!(flags & SWP_NOZORDER)) {
    auto& list = Siblings(*w);
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
    if (insertAfter == HWND_BOTTOM) {
      list.push_back(id);
    } else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
      list.insert(list.begin(), id);
      if (!w->IsChild() && insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      if (!w->IsChild() && insertAfter == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
    } else {
      auto it = std::find(list.begin(), list.end(), Id(insertAfter));
      list.insert(it == list.end() ? list.begin() : it + 1, id);
    }
    if (w->IsChild()) {
      InvalidateTree(*w, ClientRectLocal(*w), true);
    } else if (w->nativeOpen) {
      S().presenter->Reshape(id, ShapeFor(*w));
    }
  }
  w->maximized = w->maximized && (flags & SWP_NOSIZE) && (flags & SWP_NOMOVE);
  ApplyBounds(*w, rect, flags & ~(SWP_SHOWWINDOW | SWP_HIDEWINDOW));
  if (!Find(id)) return TRUE;
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  w = Find(id);
  if (w && !w->IsChild() && !(flags & SWP_NOACTIVATE) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED)) {
    Activate(id, WA_ACTIVE, false);
  }
  return TRUE;
}

BOOL BringWindowToTop(HWND hwnd) {
  return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  Window* w = Find(hwnd);
  if (!w || !rect) return FALSE;
  *rect = ClientRectLocal(*w);
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  Window* w = Find(hwnd);
  if (!w || !rect) return FALSE;
  if (!w->IsChild()) {
    *rect = w->rect;
    return TRUE;
  }
  Window* parent = Find(w->parent);
  const POINT origin = parent ? ClientOriginOnScreen(*parent) : POINT{0, 0};
  *rect = Offset(w->rect, origin.x, origin.y);
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
  Window* w = Find(hwnd);
  if (!w || !point) return FALSE;
  const POINT origin = ClientOriginOnScreen(*w);
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
  Window* w = Find(hwnd);
  if (!w || !point) return FALSE;
  const POINT origin = ClientOriginOnScreen(*w);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  if ((from && !Find(from)) || (to && !Find(to)) || (!points && count)) return 0;
  POINT a = from ? ClientOriginOnScreen(*Find(from)) : POINT{0, 0};
  POINT b = to ? ClientOriginOnScreen(*Find(to)) : POINT{0, 0};
  const int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELPARAM(dx, dy);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  const RECT in = NonClientInsets(style, exStyle);
  rect->left -= in.left;
  rect->top -= in.top + (menu ? 19 : 0);
  rect->right += in.right;
  rect->bottom += in.bottom;
  return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  const uintptr_t id = w->id;
  const bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (enable && wasDisabled) {
    w->style &= ~WS_DISABLED;
    Send(id, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    w->style |= WS_DISABLED;
    if (S().focus && WithinTree(S().focus, id)) SetFocus(nullptr);
    if (S().capture && WithinTree(S().capture, id)) ReleaseCapture();
    Send(id, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* w = Find(hwnd);
  return (w && !(w->style & WS_DISABLED)) ? TRUE : FALSE;
}

int GetSystemMetrics(int index) {
  int sw = 0, sh = 0;
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN:
      if (!EnsurePresenterNow()) return 0;
      ProgramScreenSize(&sw, &sh);
      return index == SM_CXSCREEN ? sw : sh;
    case SM_CYCAPTION:
      return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_CXCURSOR:
    case SM_CYCURSOR:
      return 32;
    default:
      return 0;
  }
}

DWORD GetSysColor(int index) {
  static const COLORREF colors[] = {
      RGB(192, 192, 192), RGB(0, 128, 128),   RGB(0, 0, 128),     RGB(128, 128, 128), RGB(192, 192, 192),
      RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
      RGB(192, 192, 192), RGB(192, 192, 192), RGB(128, 128, 128), RGB(0, 0, 128),     RGB(255, 255, 255),
      RGB(192, 192, 192), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(192, 192, 192),
      RGB(255, 255, 255), RGB(0, 0, 0),       RGB(223, 223, 223), RGB(0, 0, 0),       RGB(255, 255, 225),
  };
  if (index < 0 || index >= static_cast<int>(std::size(colors))) return 0;
  return colors[index];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index > COLOR_INFOBK) return nullptr;
  HBRUSH& brush = S().sysColorBrushes[index];
  if (!brush) brush = CreateSolidBrush(GetSysColor(index));
  return brush;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM data) {
  if (!proc) return FALSE;
  const std::vector<uintptr_t> tops = S().topOrder;
  for (uintptr_t id : tops) {
    if (Find(id) && !proc(H(id), data)) return FALSE;
  }
  return TRUE;
}

namespace {
bool EnumTree(uintptr_t parent, WNDENUMPROC proc, LPARAM data) {
  Window* p = Find(parent);
  if (!p) return true;
  const std::vector<uintptr_t> children = p->children;
  for (uintptr_t c : children) {
    if (!Find(c)) continue;
    if (!proc(H(c), data)) return false;
    if (!EnumTree(c, proc, data)) return false;
  }
  return true;
}
}  // namespace

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM data) {
  if (!proc || !Find(parent)) return FALSE;
  return EnumTree(Id(parent), proc, data) ? TRUE : FALSE;
}

BOOL EnumThreadWindows(DWORD, WNDENUMPROC proc, LPARAM data) { return EnumWindows(proc, data); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
  if (!Find(hwnd)) return 0;
  if (processId) *processId = static_cast<DWORD>(getpid());
  return GetCurrentThreadId();
}

// ---------------------------------------------------------------------------------------
// Focus and activation.

HWND SetFocus(HWND hwnd) {
  State& s = S();
  const uintptr_t old = s.focus;
  if (!hwnd) {
    if (old) {
      s.focus = 0;
      Send(old, WM_KILLFOCUS, 0, 0);
    }
    return H(old);
  }
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  const uintptr_t id = w->id;
  Window* root = Root(w);
  if (root->id != s.active || !s.appActive) {
    if (root->style & WS_DISABLED) return nullptr;
    Activate(root->id, WA_ACTIVE, false);
    if (!Find(id) || S().active != Root(Find(id))->id) return nullptr;
  }
  const uintptr_t current = s.focus;
  if (current == id) return H(current);
  if (current) Send(current, WM_KILLFOCUS, static_cast<WPARAM>(id), 0);
  if (!Find(id)) return nullptr;
  s.focus = id;
  Send(id, WM_SETFOCUS, static_cast<WPARAM>(current), 0);
  return H(current);
}

HWND GetFocus() { return H(S().focus); }

HWND SetActiveWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  const uintptr_t old = S().active;
  Window* root = Root(w);
  if (root->style & WS_DISABLED) return nullptr;
  Activate(root->id, WA_ACTIVE, false);
  return H(old);
}

HWND GetActiveWindow() { return H(S().active); }

BOOL SetForegroundWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  Window* root = Root(w);
  if (root->style & WS_DISABLED) return FALSE;
  Activate(root->id, WA_ACTIVE, false);
  return TRUE;
}

HWND GetForegroundWindow() { return S().appActive ? H(S().active) : nullptr; }
