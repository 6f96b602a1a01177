#pragma once
// A headless window system with a fresh application object for each test. Errors that
// reach the application are collected in Errors, not shown, unless a test asks for the
// real message box.
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Forms.h"
#include "support/Headless.h"

class HeadlessApplicationTest : public HeadlessTest {
 protected:
  explicit HeadlessApplicationTest(std::string Title) : FTitle(std::move(Title)) {}
  void SetUp() override {
    ResetApplication();
    HeadlessTest::SetUp();
    Application->Initialize();
    Application->SetTitle(FTitle);
    Application->SetOnException([this](TObject*, const std::exception& e) { Errors.push_back(e.what()); });
  }
  void TearDown() override {
    ResetApplication();
    HeadlessTest::TearDown();
  }

  std::vector<std::string> Errors;

 private:
  std::string FTitle;
};
