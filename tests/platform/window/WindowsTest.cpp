// Windows: creation, showing and destruction in the platform's message order, window
// data, subclassing, geometry and the handling of handles that are not (or no longer) ours.
#include "WindowTestSupport.h"

namespace {

const std::initializer_list<UINT> kLifecycle = {WM_NCCREATE, WM_CREATE,   WM_SIZE,      WM_MOVE,
                                                WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS,
                                                WM_DESTROY,  WM_NCDESTROY};

TEST_F(WindowTest, CreateShowAndDestroySendTheLifecycleInOrder) {
  HWND top = TopLevel();
  ASSERT_TRUE(IsWindow(top));
  EXPECT_EQ(MessagesOf(top, kLifecycle), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  EXPECT_FALSE(IsWindowVisible(top));

  Log().clear();
  EXPECT_FALSE(ShowWindow(top, SW_SHOW));  // it was hidden before
  EXPECT_EQ(MessagesOf(top, kLifecycle), (std::vector<UINT>{WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_TRUE(IsWindowVisible(top));
  // Showing is also a position change with SWP_SHOWWINDOW, which display hooks wait for.
  const auto shown = std::find_if(Log().begin(), Log().end(), [&](const Received& r) {
    return r.hwnd == top && r.message == WM_WINDOWPOSCHANGED && (r.posFlags & SWP_SHOWWINDOW);
  });
  EXPECT_NE(shown, Log().end());
  EXPECT_EQ(GetActiveWindow(), top);
  EXPECT_EQ(GetFocus(), top);

  HWND child = Child(top, 10, 10, 50, 20);
  HWND grandChild = Child(child, 1, 1, 5, 5, 2);
  Log().clear();
  EXPECT_TRUE(DestroyWindow(top));
  // The parent hears WM_DESTROY while its children still exist, and WM_NCDESTROY last.
  std::vector<std::pair<HWND, UINT>> order;
  for (const Received& r : Log()) {
    if (r.message == WM_DESTROY || r.message == WM_NCDESTROY) order.push_back({r.hwnd, r.message});
  }
  EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{top, WM_DESTROY},
                                                       {child, WM_DESTROY},
                                                       {grandChild, WM_DESTROY},
                                                       {grandChild, WM_NCDESTROY},
                                                       {child, WM_NCDESTROY},
                                                       {top, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandChild));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTest, CreationFailsCleanlyWhenTheProcedureRefuses) {
  WNDCLASSA wc{};
  wc.lpszClassName = "Refuser";
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    Log().push_back({h, m, w, l});
    if (m == WM_CREATE) return -1;
    return DefWindowProcA(h, m, w, l);
  };
  ASSERT_NE(RegisterClassA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "Refuser", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  ASSERT_FALSE(Log().empty());
  HWND refused = Log().front().hwnd;
  EXPECT_FALSE(IsWindow(refused));
  EXPECT_EQ(CountOf(refused, WM_NCDESTROY), 1);

  // An unknown class, or a child without a parent, makes no window at all.
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowExA(0, "Recorder", "", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  // Class names are case-insensitive, and a second registration of one name is refused.
  WNDCLASSA again{};
  again.lpfnWndProc = CALLBACK_Record;
  again.lpszClassName = "RECORDER";
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_NE(CreateWindowExA(0, "recorder", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
}

TEST_F(WindowTest, DestroyedAndUnknownHandlesAnswerZero) {
  HWND top = TopLevel();
  DestroyWindow(top);
  HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
  for (HWND h : {top, bogus}) {
    RECT r{1, 2, 3, 4};
    POINT p{5, 6};
    char text[8] = "x";
    PAINTSTRUCT ps;
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(h));
    EXPECT_FALSE(ShowWindow(h, SW_SHOW));
    EXPECT_FALSE(GetClientRect(h, &r));
    EXPECT_FALSE(GetWindowRect(h, &r));
    EXPECT_FALSE(ClientToScreen(h, &p));
    EXPECT_FALSE(SetWindowPos(h, nullptr, 0, 0, 1, 1, 0));
    EXPECT_FALSE(SetWindowTextA(h, "a"));
    EXPECT_EQ(GetWindowTextA(h, text, sizeof text), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_STYLE), 0);
    EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 7), 0);
    EXPECT_EQ(SendMessageA(h, WM_USER, 1, 2), 0);
    EXPECT_FALSE(PostMessageA(h, WM_USER, 1, 2));
    EXPECT_EQ(GetDC(h), nullptr);
    EXPECT_EQ(BeginPaint(h, &ps), nullptr);
    EXPECT_FALSE(InvalidateRect(h, nullptr, TRUE));
    EXPECT_EQ(SetFocus(h), nullptr);
    EXPECT_EQ(SetActiveWindow(h), nullptr);
    EXPECT_EQ(SetCapture(h), nullptr);
    EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 0u);
    EXPECT_FALSE(EnableWindow(h, FALSE));
    EXPECT_FALSE(PresentWindowPixels(h, text, 1, 1, 4, 32, nullptr, nullptr, 0));
    EXPECT_EQ(GetParent(h), nullptr);
  }
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, bogus, 0, 0), -1);
  EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

WNDPROC gOldProc = nullptr;
std::vector<UINT> gSeenBySubclass;

LRESULT SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  gSeenBySubclass.push_back(message);
  if (message == WM_USER + 1) return 42;  // consumed here, never reaches the old procedure
  return CallWindowProcA(gOldProc, hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, SubclassingReplacesTheProcedureAndChainsToTheOldOne) {
  HWND top = TopLevel();
  gSeenBySubclass.clear();
  gOldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
  EXPECT_EQ(gOldProc, CALLBACK_Record);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(top, GWLP_WNDPROC)), SubclassProc);
  // The 32-bit form cannot carry a pointer and refuses.
  EXPECT_EQ(GetWindowLongA(top, GWLP_WNDPROC), 0);

  Log().clear();
  EXPECT_EQ(SendMessageA(top, WM_USER + 1, 0, 0), 42);
  EXPECT_EQ(CountOf(top, WM_USER + 1), 0);
  SendMessageA(top, WM_USER + 2, 0, 0);
  EXPECT_EQ(CountOf(top, WM_USER + 2), 1);
  EXPECT_EQ(gSeenBySubclass, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));

  // Putting the old procedure back ends the subclass.
  SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gOldProc));
  gSeenBySubclass.clear();
  SendMessageA(top, WM_USER + 1, 0, 0);
  EXPECT_TRUE(gSeenBySubclass.empty());
  EXPECT_EQ(CountOf(top, WM_USER + 1), 1);
}

TEST_F(WindowTest, StylesUserDataAndCaptions) {
  HWND top = CreateWindowExA(WS_EX_APPWINDOW, "Recorder", "Hi", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr,
                             nullptr, nullptr, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(top, GWL_STYLE)), WS_OVERLAPPEDWINDOW);
  // A sizing frame of 4 around and a caption of 19 above.
  RECT client;
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, 300 - 8);
  EXPECT_EQ(client.bottom, 200 - 27);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(top, GWL_EXSTYLE)), WS_EX_APPWINDOW);
  EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(top, GWL_EXSTYLE, WS_EX_TOOLWINDOW)), WS_EX_APPWINDOW);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(top, GWL_EXSTYLE)), WS_EX_TOOLWINDOW);

  EXPECT_EQ(SetWindowLongPtrA(top, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrA(top, GWLP_USERDATA), 1234);

  EXPECT_EQ(GetWindowTextString(top), "Hi");
  EXPECT_TRUE(SetWindowTextA(top, "Pellora [Pause]"));
  EXPECT_EQ(GetWindowTextLengthA(top), 15);
  char small[8];
  EXPECT_EQ(GetWindowTextA(top, small, sizeof small), 7);  // cut to fit, with its terminator
  EXPECT_STREQ(small, "Pellora");

  // A tool window's caption is smaller; taking caption and frame away leaves all client.
  GetClientRect(top, &client);
  EXPECT_EQ(client.bottom, 200 - 24);
  SetWindowLongA(top, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE));
  SetWindowPos(top, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 200);
}

TEST_F(WindowTest, GeometryOfTopLevelsAndChildren) {
  // A dialog frame with a caption: 3 pixels around, a caption of 19 above.
  RECT wanted{0, 0, 212, 160};
  ASSERT_TRUE(AdjustWindowRectEx(&wanted, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME));
  EXPECT_EQ(wanted.right - wanted.left, 218);
  EXPECT_EQ(wanted.bottom - wanted.top, 185);

  HWND top = TopLevel(WS_POPUP, 100, 50, 400, 300);
  HWND child = Child(top, 20, 30, 100, 60);
  HWND inner = Child(child, 5, 6, 10, 10, 2);
  POINT p{1, 2};
  ClientToScreen(inner, &p);
  EXPECT_EQ(p.x, 100 + 20 + 5 + 1);
  EXPECT_EQ(p.y, 50 + 30 + 6 + 2);
  ScreenToClient(inner, &p);
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 2);
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 120);
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right, 220);

  Log().clear();
  EXPECT_TRUE(MoveWindow(child, 40, 30, 120, 60, TRUE));
  EXPECT_EQ(MessagesOf(child, {WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<UINT>{WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  const Received& size = *std::find_if(Log().begin(), Log().end(), [](const Received& x) { return x.message == WM_SIZE; });
  EXPECT_EQ(LOWORD(static_cast<uintptr_t>(size.lParam)), 120);
  EXPECT_EQ(HIWORD(static_cast<uintptr_t>(size.lParam)), 60);
  Log().clear();
  SetWindowPos(child, nullptr, 41, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(MessagesOf(child, {WM_MOVE, WM_SIZE}), (std::vector<UINT>{WM_MOVE}));

  EXPECT_EQ(GetDlgItem(top, 1), child);
  EXPECT_EQ(GetDlgCtrlID(child), 1);
  EXPECT_EQ(GetParent(inner), child);
  EXPECT_EQ(GetAncestor(inner, GA_ROOT), top);
  EXPECT_TRUE(IsChild(top, inner));
  EXPECT_FALSE(IsChild(inner, top));
}

TEST_F(WindowTest, OwnedWindowsAreDestroyedWithTheirOwner) {
  HWND owner = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND dialog = TopLevel(WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 100, 100, owner);
  EXPECT_EQ(GetParent(dialog), owner);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
  EXPECT_EQ(GetActiveWindow(), dialog);
  Log().clear();
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(dialog));
  // The owned window is gone before its owner hears WM_DESTROY.
  auto at = [](HWND h) {
    return std::find_if(Log().begin(), Log().end(),
                        [h](const Received& r) { return r.hwnd == h && r.message == WM_NCDESTROY; }) -
           Log().begin();
  };
  auto ownerDestroy = std::find_if(Log().begin(), Log().end(),
                                   [owner](const Received& r) { return r.hwnd == owner && r.message == WM_DESTROY; }) -
                      Log().begin();
  EXPECT_LT(at(dialog), ownerDestroy);
}

TEST_F(WindowTest, CloseBoxAndSystemCommands) {
  HWND top = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  headless::Minimize(top);
  Pump();
  EXPECT_TRUE(IsIconic(top));
  EXPECT_EQ(CountOf(top, WM_SYSCOMMAND), 1);
  ShowWindow(top, SW_RESTORE);
  EXPECT_FALSE(IsIconic(top));

  // A disabled window's close box does nothing, as a modal dialog's owner shows.
  EnableWindow(top, FALSE);
  headless::RequestClose(top);
  Pump();
  EXPECT_TRUE(IsWindow(top));
  EnableWindow(top, TRUE);
  headless::RequestClose(top);
  Pump();
  EXPECT_EQ(CountOf(top, WM_CLOSE), 1);
  EXPECT_FALSE(IsWindow(top));
}

}  // namespace

namespace {

// A window that destroys its own top-level when it hears one chosen message: the window
// system must survive its records vanishing in the middle of any of its own steps.
UINT gFatalMessage = 0;

LRESULT SelfDestructProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == gFatalMessage) {
    DestroyWindow(GetAncestor(hwnd, GA_ROOT));
    if (message == WM_PAINT) return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, AWindowDestroyedInsideAnyOfItsMessagesLeavesNothingBehind) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = SelfDestructProc;
  wc.lpszClassName = "SelfDestruct";
  ASSERT_NE(RegisterClassA(&wc), 0);
  for (UINT fatal : {WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGED, WM_ACTIVATEAPP, WM_ACTIVATE,
                     WM_NCACTIVATE, WM_SETFOCUS, WM_KILLFOCUS, WM_PAINT, WM_ERASEBKGND, WM_SETCURSOR, WM_MOUSEMOVE,
                     WM_MOUSEACTIVATE, WM_LBUTTONDOWN, WM_KEYDOWN, WM_CHAR, WM_TIMER, WM_CLOSE, WM_DESTROY,
                     WM_NCDESTROY, WM_CAPTURECHANGED, WM_ENABLE, WM_NCCREATE, WM_SYSCOMMAND, WM_LBUTTONUP,
                     WM_KEYUP, WM_SETTEXT}) {
    SCOPED_TRACE(fatal);
    gFatalMessage = fatal;
    HWND other = TopLevel(WS_POPUP | WS_VISIBLE, 500, 500, 50, 50);
    HWND top = CreateWindowExA(0, "SelfDestruct", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
    HWND child = top ? CreateWindowExA(0, "SelfDestruct", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top, nullptr,
                                       nullptr, nullptr)
                     : nullptr;
    ShowWindow(top, SW_SHOW);
    SetWindowTextA(child, "x");
    SetTimer(child, 1, 10, nullptr);
    SetFocus(child);
    SetCapture(child);
    ReleaseCapture();
    EnableWindow(child, FALSE);
    EnableWindow(child, TRUE);
    SetFocus(child);
    headless::Click(top, 20, 20);
    headless::KeyPress('K');
    headless::ActivateOtherApplication();
    headless::ActivateWindow(top);
    headless::RequestClose(top);
    Pump();
    MSG msg;
    for (int i = 0; i < 3 && IsWindow(child); ++i) {
      if (WaitMessageTimeout(30) && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    SetActiveWindow(other);
    DestroyWindow(top);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(IsWindow(other));
    DestroyWindow(other);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    Pump();
  }
}

}  // namespace
