// Focus, activation, the keyboard and the mouse, driven through the headless presenter's
// injected input and the real message queue.
#include <chrono>
#include <thread>

#include "WindowTestSupport.h"

namespace {

std::string CharsTo(HWND hwnd) {
  std::string out;
  for (const Received& r : Log()) {
    if (r.hwnd == hwnd && r.message == WM_CHAR) out.push_back(static_cast<char>(r.wParam));
  }
  return out;
}

TEST_F(WindowTest, FocusMovesWithKillFocusBeforeSetFocus) {
  HWND top = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND a = Child(top, 0, 0, 50, 20, 1);
  HWND b = Child(top, 0, 30, 50, 20, 2);
  EXPECT_EQ(SetFocus(a), top);
  Log().clear();
  EXPECT_EQ(SetFocus(b), a);
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[0].hwnd, a);
  EXPECT_EQ(Log()[0].message, WM_KILLFOCUS);
  EXPECT_EQ(reinterpret_cast<HWND>(Log()[0].wParam), b);
  EXPECT_EQ(Log()[1].hwnd, b);
  EXPECT_EQ(Log()[1].message, WM_SETFOCUS);
  EXPECT_EQ(reinterpret_cast<HWND>(Log()[1].wParam), a);
  EXPECT_EQ(GetFocus(), b);

  // Focusing the window that has it sends nothing.
  Log().clear();
  SetFocus(b);
  EXPECT_TRUE(Log().empty());

  // Disabling or destroying the focused window takes the focus away.
  EnableWindow(b, FALSE);
  EXPECT_EQ(GetFocus(), nullptr);
  SetFocus(a);
  DestroyWindow(a);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowTest, ActivateAppReachesEveryTopLevelWhenActivationLeavesOrReturns) {
  HWND scene = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
  HWND hidden = TopLevel(WS_POPUP, 0, 0, 50, 50);  // a hidden window of ours hears it too
  ASSERT_EQ(GetActiveWindow(), scene);
  Log().clear();

  headless::ActivateOtherApplication();
  Pump();
  for (HWND h : {scene, hidden}) {
    ASSERT_EQ(CountOf(h, WM_ACTIVATEAPP), 1);
  }
  const auto appMessage = std::find_if(Log().begin(), Log().end(),
                                       [&](const Received& r) { return r.message == WM_ACTIVATEAPP; });
  EXPECT_EQ(appMessage->wParam, static_cast<WPARAM>(FALSE));
  EXPECT_EQ(MessagesOf(scene, {WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}),
            (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  // Keys typed while another program is active do not reach us.
  Log().clear();
  headless::KeyPress('A');
  Pump();
  EXPECT_EQ(CountOf(scene, WM_KEYDOWN), 0);

  headless::ActivateWindow(scene);
  Pump();
  EXPECT_EQ(MessagesOf(scene, {WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS}),
            (std::vector<UINT>{WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_EQ(CountOf(hidden, WM_ACTIVATEAPP), 1);
  for (const Received& r : Log()) {
    if (r.message == WM_ACTIVATEAPP) {
      EXPECT_EQ(r.wParam, static_cast<WPARAM>(TRUE));
    }
  }
  EXPECT_EQ(GetForegroundWindow(), scene);

  // Moving between our own windows is no application change.
  Log().clear();
  ShowWindow(hidden, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), hidden);
  EXPECT_EQ(CountOf(scene, WM_ACTIVATEAPP), 0);
  EXPECT_EQ(CountOf(scene, WM_ACTIVATE), 1);
  const auto deactivate = std::find_if(Log().begin(), Log().end(),
                                       [&](const Received& r) { return r.hwnd == scene && r.message == WM_ACTIVATE; });
  EXPECT_EQ(LOWORD(deactivate->wParam), WA_INACTIVE);
  EXPECT_EQ(reinterpret_cast<HWND>(deactivate->lParam), hidden);
}

TEST_F(WindowTest, ModalDialogKeepsActivationFromItsDisabledOwner) {
  HWND scene = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 400, 300);
  HWND dialog = TopLevel(WS_POPUP | WS_CAPTION | WS_SYSMENU, 50, 50, 200, 100, scene);
  EnableWindow(scene, FALSE);
  ShowWindow(dialog, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), dialog);
  // The person clicks the scene: the dialog stays active and the click is swallowed.
  Log().clear();
  headless::Click(scene, 10, 10);
  headless::ActivateWindow(scene);
  Pump();
  EXPECT_EQ(CountOf(scene, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(GetActiveWindow(), dialog);
  // Closing the dialog after enabling the owner gives activation back to it.
  EnableWindow(scene, TRUE);
  DestroyWindow(dialog);
  EXPECT_EQ(GetActiveWindow(), scene);
}

TEST_F(WindowTest, PasswordDialogOverTheFullScreenSceneTakesKeysTypedDuringItsModalLoop) {
  headless::SetScreenSize(800, 600);
  HWND scene = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 800, 600);
  HWND dialog = TopLevel(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 200, 104, 281, 195, scene);
  HWND edit = Child(dialog, 24, 80, 225, 21);
  EnableWindow(scene, FALSE);
  ShowWindow(dialog, SW_SHOW);
  SetFocus(edit);
  Log().clear();
  // The person types while the modal loop sleeps in GetMessage.
  std::thread typist([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    headless::TypeText("Secret\r");
  });
  bool entered = false;
  MSG msg;
  while (!entered && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    entered = msg.message == WM_CHAR && msg.wParam == '\r';
  }
  typist.join();
  EXPECT_EQ(CharsTo(edit), "Secret\r");
  EXPECT_EQ(CountOf(scene, WM_KEYDOWN), 0);
  EnableWindow(scene, TRUE);
  DestroyWindow(dialog);
  EXPECT_EQ(GetActiveWindow(), scene);
  EXPECT_EQ(GetFocus(), scene);
  // All of it happened inside the application: no WM_ACTIVATEAPP either way.
  EXPECT_EQ(CountOf(scene, WM_ACTIVATEAPP), 0);
}

TEST_F(WindowTest, HidingAModalDialogBeforeItsOwnerIsEnabledKeepsTheApplicationActive) {
  HWND scene = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 400, 300);
  HWND dialog = TopLevel(WS_POPUP | WS_CAPTION, 50, 50, 200, 100, scene);
  EnableWindow(scene, FALSE);
  ShowWindow(dialog, SW_SHOW);
  Log().clear();
  ShowWindow(dialog, SW_HIDE);  // the dialog closes while the scene is still disabled
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(CountOf(dialog, WM_ACTIVATE), 1);
  EnableWindow(scene, TRUE);
  SetActiveWindow(scene);
  EXPECT_EQ(GetActiveWindow(), scene);
  EXPECT_EQ(CountOf(scene, WM_ACTIVATEAPP), 0);
  EXPECT_EQ(CountOf(dialog, WM_ACTIVATEAPP), 0);
  // With nothing of ours left on the screen, activation does leave the application.
  Log().clear();
  ShowWindow(scene, SW_HIDE);
  EXPECT_EQ(CountOf(scene, WM_ACTIVATEAPP), 1);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(WindowTest, KeysBecomeKeyMessagesAndCharactersWithShiftDigitsAndBackspace) {
  HWND top = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND edit = Child(top, 0, 0, 100, 20);
  SetFocus(edit);
  Log().clear();
  headless::TypeText("aB3#");
  headless::KeyPress(VK_BACK);
  headless::KeyPress(VK_RETURN);
  headless::KeyPress(VK_LEFT);  // gives no character
  Pump();
  EXPECT_EQ(CharsTo(edit), std::string("aB3#\b\r"));
  EXPECT_EQ(CharsTo(top), "");

  // Each character follows its key-down, and the key-down carries the platform's lParam.
  std::vector<UINT> keys = MessagesOf(edit, {WM_KEYDOWN, WM_CHAR, WM_KEYUP});
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0], WM_KEYDOWN);
  EXPECT_EQ(keys[1], WM_CHAR);
  EXPECT_EQ(keys[2], WM_KEYUP);
  const Received& down = *std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_KEYDOWN; });
  EXPECT_EQ(down.wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(down.lParam & 0xFFFF, 1);                 // repeat count
  EXPECT_EQ((down.lParam >> 16) & 0xFF, 0x1E);        // the A key's scan code
  EXPECT_EQ(down.lParam & KF_UP_BIT, 0);
  const Received& up = *std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_KEYUP; });
  EXPECT_NE(up.lParam & KF_UP_BIT, 0);
  EXPECT_NE(up.lParam & KF_REPEAT_BIT, 0);
  // Shift is reported as the generic VK_SHIFT.
  EXPECT_GE(std::count_if(Log().begin(), Log().end(),
                          [](const Received& r) { return r.message == WM_KEYDOWN && r.wParam == VK_SHIFT; }),
            2);
}

TEST_F(WindowTest, LayoutTextGoesToTheWindowWhoseKeyMadeIt) {
  WNDCLASSA wc{};
  wc.lpszClassName = "OpensDialog";
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    Log().push_back({h, m, w, l});
    // The key that ends the saver moves the focus to the password field at once.
    if (m == WM_KEYDOWN) SetFocus(reinterpret_cast<HWND>(GetWindowLongPtrA(h, GWLP_USERDATA)));
    return DefWindowProcA(h, m, w, l);
  };
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND scene = CreateWindowExA(0, "OpensDialog", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  HWND field = TopLevel(WS_POPUP | WS_VISIBLE, 200, 0, 100, 20);
  SetWindowLongPtrA(scene, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(field));
  SetActiveWindow(scene);
  Log().clear();
  headless::KeyDownWithText('Q');
  Pump();  // the key down is handled before its text arrives
  EXPECT_EQ(GetFocus(), field);
  headless::LayoutText("\xe9");  // the layout's character for that key
  headless::KeyUp('Q');
  Pump();
  EXPECT_EQ(CharsTo(scene), "\xe9");
  EXPECT_EQ(CharsTo(field), "");
  // Later text belongs to whoever has the focus.
  headless::LayoutText("z");
  Pump();
  EXPECT_EQ(CharsTo(field), "z");
}

TEST_F(WindowTest, DialogMessagesMoveTheFocusWithTabBetweenTabStops) {
  HWND dialog = TopLevel(WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 200, 200);
  HWND first = Child(dialog, 0, 0, 50, 20, 1, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  Child(dialog, 0, 30, 50, 20, 2, WS_CHILD | WS_VISIBLE);  // a label: no tab stop
  HWND second = Child(dialog, 0, 60, 50, 20, 3, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  HWND off = Child(dialog, 0, 90, 50, 20, 4, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED);
  SetFocus(first);
  auto run = [&] {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageA(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  };
  headless::KeyPress(VK_TAB);
  run();
  EXPECT_EQ(GetFocus(), second);
  headless::KeyPress(VK_TAB);
  run();
  EXPECT_EQ(GetFocus(), first);  // round again, past the disabled one
  headless::KeyDown(VK_SHIFT);
  headless::KeyPress(VK_TAB);
  headless::KeyUp(VK_SHIFT);
  run();
  EXPECT_EQ(GetFocus(), second);
  EXPECT_NE(GetFocus(), off);
  // Other keys reach the focused control as usual.
  Log().clear();
  headless::KeyPress('A');
  run();
  EXPECT_EQ(CharsTo(second), "a");
  EXPECT_EQ(CountOf(second, WM_CHAR), 1);
}

TEST_F(WindowTest, KeyStateFollowsTheMessagesTaken) {
  HWND top = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  headless::KeyDown(VK_SHIFT);
  headless::KeyPress('1');
  headless::KeyUp(VK_SHIFT);
  // Nothing taken yet: the queue's view of Shift is still up.
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_SHIFT));
  EXPECT_NE(GetKeyState(VK_SHIFT) & 0x8000, 0);
  EXPECT_NE(GetKeyState(VK_LSHIFT) & 0x8000, 0);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);  // as the keyboard is now
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  Pump();
  EXPECT_EQ(CharsTo(top), "!");
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(WindowTest, AltKeysAreSystemKeysAndCtrlLettersAreControlCodes) {
  HWND top = TopLevel(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  headless::KeyDown(VK_CONTROL);
  headless::KeyPress('C');
  headless::KeyUp(VK_CONTROL);
  headless::KeyDown(VK_MENU);
  headless::KeyPress('X');
  headless::KeyUp(VK_MENU);
  Pump();
  EXPECT_EQ(CharsTo(top), std::string(1, '\x03'));
  EXPECT_EQ(CountOf(top, WM_SYSKEYDOWN), 2);  // Alt itself and X
  EXPECT_EQ(CountOf(top, WM_SYSCHAR), 1);
  EXPECT_TRUE(IsWindow(top));
  // Alt+F4 closes through the system command, as on the platform.
  headless::KeyDown(VK_MENU);
  headless::KeyPress(VK_F4);
  Pump();
  EXPECT_FALSE(IsWindow(top));
}

TEST(KeyboardMap, LatinLayoutWithShiftAndCapsLock) {
  EXPECT_EQ(VirtualKeyToChar('Q', false, false, false), 'q');
  EXPECT_EQ(VirtualKeyToChar('Q', true, false, false), 'Q');
  EXPECT_EQ(VirtualKeyToChar('Q', false, true, false), 'Q');
  EXPECT_EQ(VirtualKeyToChar('Q', true, true, false), 'q');
  EXPECT_EQ(VirtualKeyToChar('7', false, true, false), '7');  // Caps Lock leaves digits alone
  EXPECT_EQ(VirtualKeyToChar('0', true, false, false), ')');
  EXPECT_EQ(VirtualKeyToChar(VK_OEM_MINUS, true, false, false), '_');
  EXPECT_EQ(VirtualKeyToChar(VK_NUMPAD5, false, false, false), '5');
  EXPECT_EQ(VirtualKeyToChar(VK_F1, false, false, false), 0);
  EXPECT_EQ(VirtualKeyToChar('1', false, false, true), 0);
}

TEST_F(WindowTest, MouseGoesToTheDeepestChildUnderItInClientCoordinates) {
  HWND top = TopLevel(WS_POPUP | WS_VISIBLE, 100, 100, 300, 200);
  HWND panel = Child(top, 50, 50, 100, 100, 1);
  HWND button = Child(panel, 10, 10, 30, 20, 2);
  HWND hiddenChild = Child(top, 0, 0, 40, 40, 3, WS_CHILD);  // hidden: the click passes it by
  Log().clear();
  headless::Click(top, 65, 62);  // inside the button at (5, 2)
  headless::Click(top, 5, 5);
  Pump();
  const auto down = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_LBUTTONDOWN; });
  ASSERT_NE(down, Log().end());
  EXPECT_EQ(down->hwnd, button);
  EXPECT_EQ(GET_X_LPARAM(down->lParam), 5);
  EXPECT_EQ(GET_Y_LPARAM(down->lParam), 2);
  EXPECT_EQ(down->wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(CountOf(top, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(CountOf(hiddenChild, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(CountOf(button, WM_SETCURSOR), 2);  // for the move and for the press

  EXPECT_EQ(WindowFromPoint(POINT{100 + 65, 100 + 62}), button);
  EXPECT_EQ(ChildWindowFromPoint(top, POINT{65, 62}), panel);  // direct children only
  EXPECT_EQ(ChildWindowFromPoint(top, POINT{290, 190}), top);
  EXPECT_EQ(ChildWindowFromPoint(top, POINT{-1, 5}), nullptr);

  // A disabled child drops its input rather than passing it to the parent.
  EnableWindow(panel, FALSE);
  Log().clear();
  headless::Click(top, 65, 62);
  Pump();
  EXPECT_EQ(CountOf(button, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(CountOf(panel, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(CountOf(top, WM_LBUTTONDOWN), 0);
}

TEST_F(WindowTest, TheWheelGoesToTheWindowUnderThePointerAndUnhandledUpToItsParent) {
  HWND top = TopLevel(WS_POPUP | WS_VISIBLE, 100, 100, 300, 200);
  HWND list = Child(top, 10, 10, 100, 100, 1);
  HWND field = Child(top, 150, 10, 100, 20, 2);
  SetFocus(field);  // the focus elsewhere does not take the wheel
  Log().clear();
  headless::Wheel(top, 30, 40, -2 * WHEEL_DELTA);
  headless::Wheel(top, 30, 40, 36);  // a touchpad's fraction of a notch
  Pump();
  std::vector<Received> wheels;
  for (const Received& r : Log())
    if (r.message == WM_MOUSEWHEEL) wheels.push_back(r);
  // The recording procedure leaves the wheel to the default one, which hands it up.
  ASSERT_EQ(wheels.size(), 4u);
  EXPECT_EQ(wheels[0].hwnd, list);
  EXPECT_EQ(wheels[1].hwnd, top);
  EXPECT_EQ(static_cast<SHORT>(HIWORD(wheels[0].wParam)), -240);
  EXPECT_EQ(static_cast<SHORT>(HIWORD(wheels[2].wParam)), 36);
  EXPECT_EQ(GET_X_LPARAM(wheels[0].lParam), 130);  // the pointer, on the screen
  EXPECT_EQ(GET_Y_LPARAM(wheels[0].lParam), 140);
  EXPECT_EQ(CountOf(field, WM_MOUSEWHEEL), 0);

  // A wheel turned while a button is held says so, as other mouse messages do.
  Log().clear();
  headless::MouseButton(1, true, 130, 140);
  headless::Wheel(top, 30, 40, WHEEL_DELTA);
  headless::MouseButton(1, false, 130, 140);
  Pump();
  const auto wheel = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_MOUSEWHEEL; });
  ASSERT_NE(wheel, Log().end());
  EXPECT_EQ(wheel->wParam & MK_LBUTTON, MK_LBUTTON);

  // Over a disabled window nothing scrolls.
  EnableWindow(list, FALSE);
  Log().clear();
  headless::Wheel(top, 30, 40, WHEEL_DELTA);
  Pump();
  EXPECT_EQ(CountOf(list, WM_MOUSEWHEEL) + CountOf(top, WM_MOUSEWHEEL), 0);
}

TEST_F(WindowTest, CaptureTakesTheMouseEvenOutsideTheWindow) {
  HWND top = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
  HWND button = Child(top, 10, 10, 30, 20, 2);
  HWND other = Child(top, 100, 100, 30, 20, 3);
  SetCapture(button);
  EXPECT_EQ(GetCapture(), button);
  Log().clear();
  headless::MouseMoveClient(top, 110, 105);  // over `other`
  headless::MouseButton(1, false, 110, 105);
  Pump();
  EXPECT_EQ(CountOf(other, WM_MOUSEMOVE), 0);
  const auto move = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.message == WM_MOUSEMOVE; });
  ASSERT_NE(move, Log().end());
  EXPECT_EQ(move->hwnd, button);
  EXPECT_EQ(GET_X_LPARAM(move->lParam), 100);
  EXPECT_EQ(GET_Y_LPARAM(move->lParam), 95);
  EXPECT_EQ(CountOf(button, WM_LBUTTONUP), 1);

  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(CountOf(button, WM_CAPTURECHANGED), 1);
  Log().clear();
  headless::MouseMoveClient(top, 111, 105);
  Pump();
  EXPECT_EQ(CountOf(other, WM_MOUSEMOVE), 1);
}

TEST_F(WindowTest, ANullCursorHidesThePointer) {
  WNDCLASSA wc{};
  wc.lpszClassName = "NoCursor";
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_SETCURSOR) {
      SetCursor(nullptr);
      return TRUE;
    }
    return DefWindowProcA(h, m, w, l);
  };
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND plain = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  HWND scene = CreateWindowExA(0, "NoCursor", "", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100, nullptr, nullptr, nullptr,
                               nullptr);
  headless::MouseMoveClient(plain, 5, 5);
  Pump();
  EXPECT_TRUE(headless::CursorVisible());
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
  headless::MouseMoveClient(scene, 5, 5);
  Pump();
  EXPECT_FALSE(headless::CursorVisible());
  // ShowCursor's counter hides an arrow too.
  headless::MouseMoveClient(plain, 6, 5);
  Pump();
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_FALSE(headless::CursorVisible());
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_TRUE(headless::CursorVisible());
}

}  // namespace
