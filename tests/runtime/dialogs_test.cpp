#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>

#include "forms_fixture.h"
#include "support/Png.h"

namespace fs = std::filesystem;

namespace {

class DialogsTest : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();
    dir = fs::temp_directory_path() / ("pellora_dialogs_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "pictures");
    for (const char* f : {"ball.bmp", "Other.BMP", "notes.txt"}) std::ofstream(dir / f) << "x";
    std::ofstream(dir / "pictures" / "deep.bmp") << "x";
  }
  void TearDown() override {
    fs::remove_all(dir);
    HeadlessForms::TearDown();
  }
  // Runs Execute with a script of keys typed once the dialog is up.
  bool ExecuteTyping(TOpenDialog& dialog, const std::string& keys) {
    bool typed = false;
    Application->SetOnIdle([&](TObject*, bool&) {
      if (!typed && dialog.DialogForm() != nullptr && dialog.DialogForm()->Visible()) {
        typed = true;
        headless::TypeText(keys);
      }
    });
    const bool result = dialog.Execute();
    Application->SetOnIdle(nullptr);
    EXPECT_TRUE(typed);
    return result;
  }
  fs::path dir;
};

TEST_F(DialogsTest, TheFilterListsMatchingFilesAndTheFoldersWithUp) {
  TOpenDialog dialog(nullptr);
  dialog.SetFilter("Bitmap files|*.bmp");
  dialog.SetInitialDir(dir.string());
  std::vector<std::string> files, folders;
  Application->SetOnIdle([&](TObject*, bool&) {
    TForm* f = dialog.DialogForm();
    if (f == nullptr || !files.empty()) return;
    files = static_cast<TListBox*>(f->FindComponent("FileList"))->Items();
    folders = static_cast<TListBox*>(f->FindComponent("FolderList"))->Items();
    headless::KeyPress(VK_ESCAPE);
  });
  EXPECT_FALSE(dialog.Execute());
  Application->SetOnIdle(nullptr);
  EXPECT_EQ(files, (std::vector<std::string>{"ball.bmp", "Other.BMP"}));
  EXPECT_EQ(folders, (std::vector<std::string>{"..", "pictures"}));
}

TEST_F(DialogsTest, TypingANameAndEnterChoosesTheFullPath) {
  TOpenDialog dialog(nullptr);
  dialog.SetFilter("Bitmap files|*.bmp");
  dialog.SetInitialDir(dir.string());
  EXPECT_TRUE(ExecuteTyping(dialog, "ball.bmp\n"));
  EXPECT_EQ(dialog.FileName(), (dir / "ball.bmp").string());
}

TEST_F(DialogsTest, TypingAFolderNameOpensItAndTheNextNameIsTakenThere) {
  TOpenDialog dialog(nullptr);
  dialog.SetFilter("Bitmap files|*.bmp");
  dialog.SetInitialDir(dir.string());
  EXPECT_TRUE(ExecuteTyping(dialog, "pictures\ndeep.bmp\n"));
  EXPECT_EQ(dialog.FileName(), (dir / "pictures" / "deep.bmp").string());
}

TEST_F(DialogsTest, CancelKeepsTheOldFileName) {
  TOpenDialog dialog(nullptr);
  dialog.SetInitialDir(dir.string());
  dialog.SetFileName("/somewhere/old.bmp");
  bool pressed = false;
  Application->SetOnIdle([&](TObject*, bool&) {
    TForm* f = dialog.DialogForm();
    if (f == nullptr || pressed) return;
    pressed = true;
    auto* cancel = static_cast<TButton*>(f->FindComponent("CancelButton"));
    headless::Click(cancel->Handle(), 10, 10);
  });
  EXPECT_FALSE(dialog.Execute());
  Application->SetOnIdle(nullptr);
  EXPECT_EQ(dialog.FileName(), "/somewhere/old.bmp");
}

TEST_F(DialogsTest, AMissingFileIsRefusedWhenItMustExist) {
  TOpenDialog dialog(nullptr);
  dialog.SetInitialDir(dir.string());
  dialog.SetOptions(ofFileMustExist);
  int boxes = 0;
  bool typed = false;
  Application->SetOnIdle([&](TObject*, bool&) {
    TCustomForm* active = Screen->ActiveForm();
    if (active != nullptr && active->FindComponent("Message") != nullptr) {
      ++boxes;
      headless::KeyPress(VK_RETURN);  // closes the box
    } else if (boxes == 1 && active == dialog.DialogForm()) {
      ++boxes;
      headless::KeyPress(VK_ESCAPE);  // back in the dialog, which stayed open: cancel it
    } else if (!typed && dialog.DialogForm() != nullptr) {
      typed = true;
      headless::TypeText("nothere.bmp\n");
    }
  });
  EXPECT_FALSE(dialog.Execute());
  Application->SetOnIdle(nullptr);
  EXPECT_EQ(boxes, 2);
}

// A folder of many pictures: more names than the file list has rows.
class LongFolderTest : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    for (int i = 0; i < 40; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "ball%02d.bmp", i);
      std::ofstream(dir / name) << "x";
    }
    for (int i = 0; i < 20; ++i) fs::create_directories(dir / ("folder" + std::to_string(10 + i)));
  }
  // Runs the dialog with one scripted step per idle pass: each step's input has been
  // handled by the dialog's own message loop before the next step runs.
  void RunScript(TOpenDialog& Dialog, std::vector<std::function<void(TForm*)>> Steps) {
    size_t next = 0;
    int idlesAfter = 0;
    Application->SetOnIdle([&](TObject*, bool&) {
      TForm* f = Dialog.DialogForm();
      if (f == nullptr || !f->Visible()) return;
      if (next < Steps.size()) {
        Steps[next++](f);
      } else if (++idlesAfter > 20) {
        // The script is over and the dialog did not close: end it rather than hang.
        ADD_FAILURE() << "the dialog stayed open after the script";
        f->SetModalResult(mrCancel);
      }
    });
    Dialog.Execute();
    Application->SetOnIdle(nullptr);
    EXPECT_EQ(next, Steps.size());
  }
  static TListBox* Files(TForm* F) { return static_cast<TListBox*>(F->FindComponent("FileList")); }
  static TListBox* Folders(TForm* F) { return static_cast<TListBox*>(F->FindComponent("FolderList")); }
  void Shot(TForm* F, const std::string& Name) {
    if (const char* d = std::getenv("PELLORA_SHOTS")) {
      UpdateWindow(F->Handle());
      SaveWindowPng(F->Handle(), std::string(d) + "/" + Name);
    }
  }
};

// The lists of a long folder: whole rows, the wheel over either list scrolls it while
// the name field keeps the focus, the scroll bar's thumb drags, and the last file can be
// reached and chosen.
TEST_F(LongFolderTest, TheListsScrollByWheelAndScrollBarAndTheLastFileIsReachable) {
  using Part = TListBox::TScrollPart;
  TOpenDialog dialog(nullptr);
  dialog.SetFilter("Bitmap files|*.bmp");
  dialog.SetInitialDir(dir.string());
  auto centreOn = [](TListBox* List, Part P) {
    const TRect r = List->ScrollPartRect(P);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(List->Handle(), &p);
    return p;
  };
  int maxTop = 0;
  RunScript(dialog, {
      [&](TForm* f) {
        Shot(f, "open-long.png");
        for (TListBox* l : {Files(f), Folders(f)}) {
          ASSERT_TRUE(l->ScrollBarShown());
          // Whole rows: the inside of the list is a whole number of rows high.
          EXPECT_EQ((l->Height() - 4) % l->ItemHeight(), 0) << l->Name();
        }
        EXPECT_EQ(Files(f)->Top() + Files(f)->Height(), Folders(f)->Top() + Folders(f)->Height());
        EXPECT_EQ(Files(f)->Count(), 42);
        maxTop = Files(f)->Count() - Files(f)->VisibleCount();
        headless::Wheel(Files(f)->Handle(), 30, 30, -WHEEL_DELTA);
      },
      [&](TForm* f) {
        EXPECT_EQ(Files(f)->TopIndex(), 3);
        EXPECT_EQ(f->ActiveControl(), f->FindComponent("FileNameEdit"));
        headless::Wheel(Folders(f)->Handle(), 30, 30, -2 * WHEEL_DELTA);
      },
      [&](TForm* f) {
        EXPECT_EQ(Folders(f)->TopIndex(), 6);
        EXPECT_EQ(Files(f)->TopIndex(), 3);
        // The thumb dragged to the bottom of the track shows the last file whole.
        const POINT thumb = centreOn(Files(f), Part::Thumb);
        headless::MouseMove(thumb.x, thumb.y);
        headless::MouseButton(1, true, thumb.x, thumb.y);
      },
      [&](TForm* f) {
        // Held: the list has the pointer even below the dialog.
        const POINT thumb = centreOn(Files(f), Part::Thumb);
        headless::MouseMove(thumb.x, thumb.y + 400);
        headless::MouseButton(1, false, thumb.x, thumb.y + 400);
      },
      [&](TForm* f) {
        TListBox* files = Files(f);
        EXPECT_EQ(files->TopIndex(), maxTop);
        EXPECT_EQ(files->TopIndex() + files->VisibleCount(), files->Count());
        EXPECT_EQ(files->ItemIndex(), -1);  // scrolling chose nothing
        Shot(f, "open-long-end.png");
        const int lastRow = files->Count() - 1 - files->TopIndex();
        headless::Click(files->Handle(), 20, 2 + lastRow * files->ItemHeight() + files->ItemHeight() / 2);
      },
      [&](TForm* f) {
        EXPECT_EQ(Files(f)->ItemIndex(), Files(f)->Count() - 1);
        // Up one line by the arrow, and then Enter takes the chosen file.
        const POINT up = centreOn(Files(f), Part::LineUp);
        headless::MouseMove(up.x, up.y);
        headless::MouseButton(1, true, up.x, up.y);
        headless::MouseButton(1, false, up.x, up.y);
      },
      [&](TForm* f) {
        EXPECT_EQ(Files(f)->TopIndex(), maxTop - 1);
        headless::KeyPress(VK_RETURN);
      },
  });
  EXPECT_EQ(dialog.FileName(), (dir / "Other.BMP").string());
}

TEST(OpenDialogFilter, EntriesAndMasks) {
  const auto entries = TOpenDialog::ParseFilter("Bitmap files|*.bmp|All|*.bmp;*.dib");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Description, "Bitmap files");
  EXPECT_EQ(entries[1].Masks, (std::vector<std::string>{"*.bmp", "*.dib"}));
  EXPECT_TRUE(TOpenDialog::MatchesMask("BALL.BMP", entries[0].Masks));
  EXPECT_FALSE(TOpenDialog::MatchesMask("ball.bmp.txt", entries[0].Masks));
  EXPECT_TRUE(TOpenDialog::ParseFilter("").empty());
}

TEST_F(DialogsTest, AMessageBoxClosesWithEnterAndShowsItsText) {
  std::string caption, text;
  Application->SetOnIdle([&](TObject*, bool&) {
    TCustomForm* box = Screen->ActiveForm();
    if (box == nullptr || !caption.empty()) return;
    caption = box->Caption();
    text = static_cast<TLabel*>(box->FindComponent("Message"))->Caption();
    if (const char* d = std::getenv("PELLORA_SHOTS")) SaveWindowPng(box->Handle(), (std::string(d) + "/messagebox.png").c_str());
    headless::KeyPress(VK_RETURN);
  });
  EXPECT_EQ(ShowMessageBox("Error in entering of password in one of the string.", "Set Password"), IDOK);
  Application->SetOnIdle(nullptr);
  EXPECT_EQ(caption, "Set Password");
  EXPECT_EQ(text, "Error in entering of password in one of the string.");
}

// Which columns of a band of rows hold anything but the background colour.
std::vector<bool> InkColumns(const std::function<uint32_t(int, int)>& At, int Width, int Top, int Height,
                             uint32_t Background) {
  std::vector<bool> ink(static_cast<size_t>(Width), false);
  for (int x = 0; x < Width; ++x)
    for (int y = Top; y < Top + Height; ++y)
      if ((At(x, y) & 0xFFFFFF) != (Background & 0xFFFFFF)) ink[static_cast<size_t>(x)] = true;
  return ink;
}

// The range messages of the Options dialog showed "... !!" for "... !!!": the label was
// sized by a measurement narrower than the drawing, and the last glyph fell outside it.
// What the box shows must be the whole text, column for column as the font draws it
// unclipped on a bitmap of its own.
TEST_F(DialogsTest, AMessageBoxShowsItsWholeTextUpToTheLastNarrowGlyph) {
  for (const std::string text : {"Number of balls 0<..<101 !!!", "Balls max speed 0<..<101 !!!", "Lilli fill"}) {
    SCOPED_TRACE(text);
    std::vector<bool> shown, drawn;
    Application->SetOnIdle([&](TObject*, bool&) {
      TCustomForm* box = Screen->ActiveForm();
      if (box == nullptr || !shown.empty()) return;
      auto* label = static_cast<TLabel*>(box->FindComponent("Message"));
      UpdateWindow(box->Handle());
      WindowPixels px;
      ASSERT_TRUE(GetWindowPixels(box->Handle(), &px));
      // The frame holds the client area alone, or the whole window with its border.
      RECT client, wr;
      GetClientRect(box->Handle(), &client);
      GetWindowRect(box->Handle(), &wr);
      POINT origin{0, 0};
      ClientToScreen(box->Handle(), &origin);
      const int ox = label->Left() + (px.width == client.right ? 0 : origin.x - wr.left);
      const int oy = label->Top() + (px.height == client.bottom ? 0 : origin.y - wr.top);
      const uint32_t background = px.At(ox - 1, oy);
      // Everything right of the label's left edge to the box's edge: ink past the label
      // would count as well as ink missing from it.
      shown = InkColumns([&](int x, int y) { return px.At(ox + x, oy + y); }, px.width - ox - 4, 0,
                         label->Height(), background);
      if (const char* d = std::getenv("PELLORA_SHOTS"))
        SaveWindowPng(box->Handle(), std::string(d) + "/message-" + std::to_string(text.size()) + ".png");

      TBitmap reference;
      reference.SetPixelFormat(pf32bit);
      reference.SetSize(static_cast<int32_t>(shown.size()), label->Height());
      TCanvas* c = reference.Canvas();
      c->Brush()->SetColor(clWhite);
      c->FillRect(Rect(0, 0, reference.Width(), reference.Height()));
      c->Font()->Assign(label->Font());
      c->Font()->SetColor(clBlack);
      c->Brush()->SetStyle(bsClear);
      c->TextOut(0, 0, text);
      drawn = InkColumns([&](int x, int y) { return static_cast<uint32_t>(c->Pixels(x, y)); }, reference.Width(), 0,
                         reference.Height(), 0xFFFFFF);
      headless::KeyPress(VK_RETURN);
    });
    EXPECT_EQ(ShowMessageBox(text, "Pellora"), IDOK);
    Application->SetOnIdle(nullptr);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown, drawn);
    // And the box leaves room for it.
    const auto last = std::find(shown.rbegin(), shown.rend(), true);
    EXPECT_GT(last - shown.rbegin(), 8);
  }
}

}  // namespace
