// The Options dialog and the About box, driven through the real message queue: clicks
// and keys go in as a person's would, and the hive is read afterwards.
#include <algorithm>
#include <filesystem>

#include "dialogs/About.h"
#include "dialogs/Options1.h"
#include "dialogs_fixture.h"
#include "image/DIB.h"

namespace fs = std::filesystem;

namespace {

class OptionsTest : public DialogTest {
 protected:
  void Open() {
    Application->CreateForm(OptionsForm1);
    Application->CreateForm(OKRightDlg);
    ASSERT_NE(OptionsForm1, nullptr);
    ASSERT_NE(OKRightDlg, nullptr);
    OptionsForm1->Show();
    Pump();
  }
  // Replaces a number field's text the way a person does: click, select all, type.
  void TypeInto(TEdit* Edit, const std::string& Text) {
    ClickControl(Edit);
    Pump();
    Edit->SelectAll();
    headless::TypeText(Text);
    Pump();
  }
  void PressOk() {
    ClickControl(OptionsForm1->Button2);
    EXPECT_TRUE(PumpUntilClosed()) << "Ok did not close the dialog";
  }
  // Clicks the image and answers the open dialog with a typed name (empty: Escape).
  void ChoosePicture(const fs::path& Folder, const std::string& Name) {
    OptionsForm1->OpenDialog1->SetInitialDir(Folder.string());
    Step = [this, Name] { WaitForOpenDialog(Name); };
    ClickControl(OptionsForm1->Image1);
    Pump();
    EXPECT_TRUE(Answered) << "the open dialog never came up";
  }
  void WaitForOpenDialog(const std::string& Name) {
    TForm* dialog = OptionsForm1->OpenDialog1->DialogForm();
    if (dialog == nullptr || !dialog->Visible()) {
      Step = [this, Name] { WaitForOpenDialog(Name); };
      return;
    }
    Answered = true;
    Filter = OptionsForm1->OpenDialog1->Filter();
    if (Name.empty()) {
      headless::KeyPress(VK_ESCAPE);
    } else {
      headless::TypeText(Name + "\n");
    }
  }
  fs::path Scratch() {
    const fs::path dir = fs::path(Folder()) / "pictures";
    fs::create_directories(dir);
    return dir;
  }
  bool Answered = false;
  std::string Filter;
};

TEST_F(OptionsTest, TheDesignsPutEveryControlAtItsPlace) {
  Open();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  TOptionsForm1* f = OptionsForm1;
  EXPECT_EQ(f->Caption(), "Options");
  EXPECT_EQ(f->ClientWidth(), 338);
  EXPECT_EQ(f->ClientHeight(), 186);
  EXPECT_EQ(f->Left(), 200);
  EXPECT_EQ(f->Top(), 110);
  EXPECT_EQ(f->BorderStyle(), bsDialog);
  EXPECT_EQ(f->BorderIcons(), biSystemMenu);
  EXPECT_EQ(f->Label1->Caption(), "Number of Balls (<100) ");
  EXPECT_EQ(f->Label2->Caption(), "MaxSpeed of Balls (<100) ");
  EXPECT_EQ(f->Label3->Caption(), " Image (Click for change) ");
  EXPECT_EQ(f->Edit1->BoundsRect(), Bounds(40, 40, 121, 21));
  EXPECT_EQ(f->Edit2->BoundsRect(), Bounds(40, 88, 121, 21));
  EXPECT_EQ(f->Image1->BoundsRect(), Bounds(192, 24, 105, 97));
  EXPECT_EQ(f->Button2->BoundsRect(), Bounds(40, 136, 75, 25));
  EXPECT_EQ(f->Button3->BoundsRect(), Bounds(136, 136, 75, 25));
  EXPECT_EQ(f->Button1->BoundsRect(), Bounds(232, 136, 75, 25));
  EXPECT_EQ(f->Button2->Caption(), "Ok");
  EXPECT_EQ(f->Button3->Caption(), "Cancel");
  EXPECT_EQ(f->Button1->Caption(), "About");
  for (TButton* b : {f->Button1, f->Button2, f->Button3}) {
    EXPECT_FALSE(b->Default());
    EXPECT_FALSE(b->Cancel());
    EXPECT_EQ(b->ModalResult(), mrNone);
  }
  EXPECT_EQ(f->Font()->Name(), "MS Sans Serif");
  // Tab order: Ok, Cancel, the two fields, About; so Ok has the focus at first.
  EXPECT_TRUE(f->Button2->Focused());
  for (TWinControl* next : {static_cast<TWinControl*>(f->Button3), static_cast<TWinControl*>(f->Edit1),
                            static_cast<TWinControl*>(f->Edit2), static_cast<TWinControl*>(f->Button1),
                            static_cast<TWinControl*>(f->Button2)}) {
    headless::KeyPress(VK_TAB);
    Pump();
    EXPECT_TRUE(next->Focused()) << next->Name();
  }
  Shot(f, "options.png");
  // What a person sees: black, white text, the ball drawn unscaled from the corner.
  EXPECT_EQ(At(f, 4, 4), 0x000000u);
  EXPECT_GT(CountColour(f, Bounds(40, 24, 100, 13), 0xFFFFFFu), 20);
  EXPECT_GT(CountColour(f, Bounds(192, 8, 121, 13), 0xFFFFFFu), 20);
  EXPECT_NE(At(f, 192 + 23, 24 + 23), 0x000000u);
  EXPECT_EQ(At(f, 192 + 1, 24 + 1), 0x000000u);
  EXPECT_EQ(At(f, 192 + 80, 24 + 80), 0x000000u);

  TOKRightDlg* a = OKRightDlg;
  EXPECT_FALSE(a->Visible());
  a->Show();
  Pump();
  Shot(a, "about.png");
  EXPECT_NEAR(a->Left() + a->Width() / 2, Screen->Width() / 2, 1);
  EXPECT_NEAR(a->Top() + a->Height() / 2, Screen->Height() / 2, 1);
  EXPECT_EQ(At(a, 4, 4), 0x000000u);
  EXPECT_GT(CountColour(a, Bounds(16, 16, 120, 37), 0x0000FFu), 40);   // the blue title
  EXPECT_GT(CountColour(a, Bounds(128, 56, 124, 24), 0x00FF00u), 40);  // lime credit
  EXPECT_NE(At(a, 48 + 12, 72 + 12), 0x000000u);                       // the icon
  a->Hide();
  EXPECT_EQ(a->Caption(), "About");
  EXPECT_EQ(a->ClientWidth(), 301);
  EXPECT_EQ(a->ClientHeight(), 207);
  EXPECT_EQ(a->Position(), poScreenCenter);
  EXPECT_EQ(a->Font()->Color(), clTeal);
  EXPECT_EQ(a->Label4->Caption(), "Pellora");
  EXPECT_EQ(a->Label4->Font()->Color(), clBlue);
  EXPECT_EQ(a->Label4->Font()->Height(), -32);
  EXPECT_EQ(a->Label1->Font()->Color(), clLime);
  EXPECT_TRUE(a->Label1->Font()->Style().Contains(fsBold));
  EXPECT_EQ(a->Label2->Font()->Color(), clGreen);
  EXPECT_TRUE(a->Label2->Font()->Style().Contains(fsBold));
  EXPECT_EQ(a->Label3->Font()->Color(), clTeal);
  EXPECT_FALSE(a->Label3->Font()->Style().Contains(fsBold));
  EXPECT_EQ(a->Label5->Caption(), " ver. 04.08.99 ");
  EXPECT_EQ(a->Label5->Font()->Color(), clWhite);
  EXPECT_EQ(a->Image1->Picture()->Width(), 32);
  EXPECT_EQ(a->Image1->Picture()->Height(), 32);
  EXPECT_EQ(a->OKBtn->BoundsRect(), Bounds(108, 160, 85, 25));
  EXPECT_TRUE(a->OKBtn->Default());
  EXPECT_EQ(a->OKBtn->ModalResult(), mrOk);
}

TEST_F(OptionsTest, TheImageHoldsTheScenesBallAsABitmap) {
  Open();
  TGraphic* g = OptionsForm1->Image1->Picture()->Graphic();
  ASSERT_NE(g, nullptr);
  auto* bitmap = dynamic_cast<TBitmap*>(g);
  ASSERT_NE(bitmap, nullptr) << "the ball is held as " << g->ClassName();
  EXPECT_EQ(bitmap->Width(), 47);
  EXPECT_EQ(bitmap->Height(), 47);
  // The same pixels as the scene's built-in TDIB: both drawn onto 24-bit bitmaps.
  const TDesignResource* res = FindDesignResource("BallPicture.bin");
  ASSERT_NE(res, nullptr);
  TPicture scene;
  TMemoryStream data;
  data.WriteBuffer(res->Data, static_cast<int64_t>(res->Size));
  data.SetPosition(0);
  scene.ReadData(data);
  ASSERT_NE(dynamic_cast<TDIB*>(scene.Graphic()), nullptr);
  TBitmap mine, theirs;
  for (TBitmap* b : {&mine, &theirs}) {
    b->SetPixelFormat(pf24bit);
    b->SetWidth(47);
    b->SetHeight(47);
  }
  mine.Canvas()->Draw(0, 0, bitmap);
  theirs.Canvas()->Draw(0, 0, scene.Graphic());
  int differing = 0;
  for (int y = 0; y < 47; ++y)
    for (int x = 0; x < 47; ++x) differing += mine.Canvas()->Pixels(x, y) != theirs.Canvas()->Pixels(x, y);
  EXPECT_EQ(differing, 0);
}

TEST_F(OptionsTest, OpeningOnAnEmptyHiveShowsTheDefaultsAndOkWritesThemBack) {
  Open();
  EXPECT_EQ(OptionsForm1->Edit1->Text(), "100");
  EXPECT_EQ(OptionsForm1->Edit2->Text(), "6");
  EXPECT_EQ(Options1::PictureFile, StandardPicture);
  PressOk();
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Stored(PictureName), "\"Standart\"");
  EXPECT_EQ(Stored(BallsCountName), "100");
  EXPECT_EQ(Stored(BallsSpeedName), "6");
}

TEST_F(OptionsTest, OkUntouchedWritesBackWhatWasReadWithTheMarkerForAVanishedFile) {
  const fs::path gone = Scratch() / "gone.bmp";
  WriteBmpFile(gone, 4, 4, 0, 0, 255);
  Store(PictureName, gone.string());
  Store(BallsCountName, "42");
  Store(BallsSpeedName, "9");
  fs::remove(gone);
  Open();
  EXPECT_EQ(OptionsForm1->Edit1->Text(), "42");
  EXPECT_EQ(OptionsForm1->Edit2->Text(), "9");
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 47);  // the built-in ball
  PressOk();
  EXPECT_EQ(Stored(PictureName), StandardPicture);
  EXPECT_EQ(Stored(BallsCountName), "42");
  EXPECT_EQ(Stored(BallsSpeedName), "9");
}

TEST_F(OptionsTest, AStoredPictureThatExistsIsShownAndKept) {
  const fs::path file = Scratch() / "red.bmp";
  WriteBmpFile(file, 20, 10, 0, 0, 255);
  Store(PictureName, file.string());
  Open();
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 20);
  EXPECT_EQ(At(OptionsForm1, 192 + 5, 24 + 5), 0xFF0000u);
  PressOk();
  EXPECT_EQ(Stored(PictureName), file.string());
}

TEST_F(OptionsTest, TheRangeIsOneToAHundredWithAMessageForEachFieldRefused) {
  Open();
  TypeInto(OptionsForm1->Edit1, "100");
  TypeInto(OptionsForm1->Edit2, "100");
  PressOk();
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Stored(BallsCountName), "100");
  EXPECT_EQ(Stored(BallsSpeedName), "100");
}

TEST_F(OptionsTest, ZeroAndAHundredAndOneAreRefusedBallsFirstAndTheDialogClosesAnyway) {
  Store(BallsCountName, "5");
  Store(BallsSpeedName, "7");
  Open();
  TypeInto(OptionsForm1->Edit1, "0");
  TypeInto(OptionsForm1->Edit2, "101");
  PressOk();
  EXPECT_EQ(Messages, (std::vector<std::string>{SBallsCountRange, SBallsSpeedRange}));
  EXPECT_EQ(Stored(BallsCountName), "5");
  EXPECT_EQ(Stored(BallsSpeedName), "7");
  EXPECT_EQ(Stored(PictureName), StandardPicture);
}

TEST_F(OptionsTest, AnEmptyFieldCountsAsZero) {
  Open();
  TypeInto(OptionsForm1->Edit2, "");
  ClickControl(OptionsForm1->Edit2);
  OptionsForm1->Edit2->SelectAll();
  headless::KeyPress(VK_DELETE);
  Pump();
  ASSERT_EQ(OptionsForm1->Edit2->Text(), "");
  PressOk();
  EXPECT_EQ(Messages, (std::vector<std::string>{SBallsSpeedRange}));
  EXPECT_EQ(Stored(BallsSpeedName), "(none)");
  EXPECT_EQ(Stored(BallsCountName), "100");
}

TEST_F(OptionsTest, AnInvalidCountWithAValidSpeedWritesPictureAndSpeedOnly) {
  Open();
  TypeInto(OptionsForm1->Edit1, "101");
  TypeInto(OptionsForm1->Edit2, "12");
  PressOk();
  EXPECT_EQ(Messages, (std::vector<std::string>{SBallsCountRange}));
  EXPECT_EQ(Stored(PictureName), StandardPicture);
  EXPECT_EQ(Stored(BallsSpeedName), "12");
  EXPECT_EQ(Stored(BallsCountName), "(none)");
}

TEST_F(OptionsTest, LeadingZerosAreWrittenAsTyped) {
  Open();
  TypeInto(OptionsForm1->Edit1, "007");
  TypeInto(OptionsForm1->Edit2, "0100");
  PressOk();
  EXPECT_TRUE(Messages.empty());
  const RawValue raw = ReadRaw(SettingsKeyPath, BallsCountName);
  EXPECT_EQ(raw.data, (std::vector<BYTE>{'0', '0', '7', 0}));
  EXPECT_EQ(Stored(BallsSpeedName), "0100");
}

TEST_F(OptionsTest, OnlyDigitsAndBackspaceReachTheNumberFields) {
  Open();
  for (TEdit* edit : {OptionsForm1->Edit1, OptionsForm1->Edit2}) {
    TypeInto(edit, "1a-+ 2.$x,3");
    EXPECT_EQ(edit->Text(), "123");
    headless::KeyPress(VK_BACK);
    Pump();
    EXPECT_EQ(edit->Text(), "12");
  }
  // The filter itself, over every byte.
  for (int c = 0; c < 256; ++c) {
    const char key = static_cast<char>(c);
    EXPECT_EQ(IsNumberFieldKey(key), c == 8 || (c >= '0' && c <= '9')) << c;
  }
}

TEST_F(OptionsTest, ANumberTooLongForThe32BitParserIsRefusedNotWrapped) {
  // 4294967346 wraps to 50 in the parser; it must not pass as fifty balls.
  Open();
  TypeInto(OptionsForm1->Edit1, "4294967346");
  PressOk();
  EXPECT_EQ(Messages, (std::vector<std::string>{SBallsCountRange}));
  EXPECT_EQ(Stored(BallsCountName), "(none)");
  EXPECT_TRUE(NumberInRange("0000000000000000000099"));
  EXPECT_FALSE(NumberInRange("0000000000000000000101"));
  EXPECT_FALSE(NumberInRange("-5"));
  EXPECT_TRUE(NumberInRange("12abc"));  // a stored text is parsed as the scene parses it
  EXPECT_TRUE(NumberInRange("$64"));
  EXPECT_FALSE(NumberInRange("$100000064"));
}

TEST_F(OptionsTest, AChosenPictureIsShownAndOkStoresItsFullPath) {
  const fs::path dir = Scratch();
  WriteBmpFile(dir / "green.bmp", 30, 12, 0, 255, 0);
  Open();
  ChoosePicture(dir, "green.bmp");
  EXPECT_EQ(Filter, "Bitmap files|*.bmp");
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 30);
  EXPECT_EQ(At(OptionsForm1, 192 + 3, 24 + 3), 0x00FF00u);
  EXPECT_EQ(Options1::PictureFile, (dir / "green.bmp").string());
  PressOk();
  EXPECT_EQ(Stored(PictureName), (dir / "green.bmp").string());
}

TEST_F(OptionsTest, CancellingTheOpenDialogChangesNothing) {
  Open();
  ChoosePicture(Scratch(), "");
  EXPECT_EQ(Options1::PictureFile, StandardPicture);
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 47);
}

TEST_F(OptionsTest, ChoosingAPictureThenCancelLeavesTheStoredPictureAlone) {
  const fs::path dir = Scratch();
  WriteBmpFile(dir / "old.bmp", 8, 8, 255, 0, 0);
  WriteBmpFile(dir / "new.bmp", 9, 9, 0, 255, 0);
  Store(PictureName, (dir / "old.bmp").string());
  Open();
  ChoosePicture(dir, "new.bmp");
  ASSERT_EQ(Options1::PictureFile, (dir / "new.bmp").string());
  ClickControl(OptionsForm1->Button3);
  EXPECT_TRUE(PumpUntilClosed());
  EXPECT_EQ(Stored(PictureName), (dir / "old.bmp").string());
  EXPECT_EQ(Stored(BallsCountName), "(none)");
}

TEST_F(OptionsTest, AChosenFileThatIsNoPictureIsReportedAndThePathStays) {
  const fs::path dir = Scratch();
  std::ofstream(dir / "broken.bmp", std::ios::binary) << "BM this is not a bitmap";
  Open();
  ChoosePicture(dir, "broken.bmp");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Options1::PictureFile, StandardPicture);
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 47);
  PressOk();
  EXPECT_EQ(Stored(PictureName), StandardPicture);
}

TEST_F(OptionsTest, AStoredFileThatIsNoPictureIsReportedAndTheDialogStillOpens) {
  const fs::path file = Scratch() / "broken.bmp";
  std::ofstream(file, std::ios::binary) << "not a picture at all";
  Store(PictureName, file.string());
  Store(BallsCountName, "3");
  Open();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(OptionsForm1->Visible());
  EXPECT_EQ(OptionsForm1->Image1->Picture()->Width(), 47);
}

TEST_F(OptionsTest, AStoredValueOfTheWrongTypeIsReportedNotMisread) {
  WriteRaw(SettingsKeyPath, BallsCountName, REG_DWORD, {7, 0, 0, 0});
  Open();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Invalid data type for 'BallsCount'");
  EXPECT_TRUE(OptionsForm1->Visible());
}

TEST_F(OptionsTest, AboutShowsTheBoxModallyAndEnterClosesIt) {
  Open();
  bool shown = false;
  Step = [&] {
    if (!OKRightDlg->Visible()) return;
    shown = true;
    EXPECT_TRUE(OKRightDlg->Modal());
    EXPECT_TRUE(OKRightDlg->OKBtn->Focused());
    headless::KeyPress(VK_RETURN);
  };
  ClickControl(OptionsForm1->Button1);
  Pump();
  EXPECT_TRUE(shown);
  EXPECT_FALSE(OKRightDlg->Visible());
  EXPECT_TRUE(OptionsForm1->Visible());
  EXPECT_FALSE(Application->Terminated());
  // It can be shown again, and closed by its close box this time.
  shown = false;
  Step = [&] {
    if (!OKRightDlg->Visible()) return;
    shown = true;
    headless::RequestClose(OKRightDlg->Handle());
  };
  ClickControl(OptionsForm1->Button1);
  Pump();
  EXPECT_TRUE(shown);
  EXPECT_FALSE(OKRightDlg->Visible());
  // Nothing of the About box writes settings.
  EXPECT_EQ(Stored(PictureName), "(none)");
}

// A hive that cannot be used is reported in the box a person sees: the store's own text,
// then what the hive says is wrong with it.
TEST_F(OptionsTest, AnUnusableHiveIsReportedWithTheHivesReason) {
  const std::string hive = Folder() + "/pellora/hive.db";
  fs::create_directory(Folder() + "/pellora");
  std::ofstream(hive, std::ios::binary) << std::string(4096, 'Z');
  Application->SetOnException(nullptr);  // the application's own box, not the test's list
  Application->SetOnIdle([this](TObject*, bool& Done) {
    Done = false;
    TCustomForm* box = Screen->ActiveForm();
    if (box == nullptr || box->FindComponent("Message") == nullptr || !Messages.empty()) return;
    Messages.push_back(static_cast<TLabel*>(box->FindComponent("Message"))->Caption());
    Shot(box, "options-unusable-hive.png");
    headless::KeyPress(VK_RETURN);
  });
  Open();
  ASSERT_EQ(Messages.size(), 1u);
  // Too long for one line of the widest box: it is broken between words, and nothing lost.
  std::string shown = Messages[0];
  EXPECT_NE(shown.find('\n'), std::string::npos);
  std::replace(shown.begin(), shown.end(), '\n', ' ');
  EXPECT_EQ(shown, "Failed to create key Software\\Korvent_Programs\\Pellora. The registry hive \"" + hive +
                             "\" is not a registry hive: it is not a database file. It was left as it is; move it away to start "
                             "with a new hive.");
  EXPECT_TRUE(OptionsForm1->Visible());
}

TEST_F(OptionsTest, TheCloseBoxEndsTheRunWithoutWriting) {
  Open();
  TypeInto(OptionsForm1->Edit1, "55");
  headless::RequestClose(OptionsForm1->Handle());
  EXPECT_TRUE(PumpUntilClosed());
  EXPECT_EQ(Stored(BallsCountName), "(none)");
}

}  // namespace
