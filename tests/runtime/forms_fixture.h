#pragma once
// A headless window system and a fresh application object for each test, and helpers
// that read a design given as text into a form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/Dialogs.h"
#include "runtime/ExtCtrls.h"
#include "platform/window/Headless.h"
#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

class HeadlessForms : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetApplication();
    ResetWindowSystem();
    UseHeadlessPresenter();
    Application->Initialize();
    Application->SetTitle("Runtime test");
    // Errors are collected, not shown, unless a test asks for the real message box.
    Application->SetOnException([this](TObject*, const std::exception& e) { Errors.push_back(e.what()); });
  }
  void TearDown() override {
    ResetApplication();
    ResetWindowSystem();
  }
  void Pump() { Application->ProcessMessages(); }

  // A form of class T made from design text, as CreateForm makes one from a stored design.
  template <class T>
  T* MakeForm(const std::string& Design, const std::string& Name = "Test.pfm") {
    T* form = new T(Application);
    try {
      ReadComponentText(form, Name, Design);
    } catch (...) {
      delete form;
      throw;
    }
    form->DoCreate();
    return form;
  }

  std::vector<std::string> Errors;
};
