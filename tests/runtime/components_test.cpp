#include <gtest/gtest.h>

#include "runtime/Components.h"

namespace {

// A component that remembers a peer and what it was told.
class TPeer : public TComponent {
 public:
  explicit TPeer(TComponent* AOwner, int* Freed = nullptr) : TComponent(AOwner), FFreed(Freed) {}
  ~TPeer() override {
    if (FFreed) ++*FFreed;
  }
  void SetPeer(TComponent* Value) {
    if (Value) Value->FreeNotification(this);
    Peer = Value;
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == Peer) Peer = nullptr;
    if (Operation == opInsert) ++Inserts;
  }
  void Loaded() override { ++LoadedCalls; }
  TComponent* Peer = nullptr;
  int Inserts = 0;
  int LoadedCalls = 0;

 private:
  int* FFreed;
};

TEST(Components, AnOwnerFreesItsComponentsAndFindsThemByNameInAnyCase) {
  int freed = 0;
  auto* root = new TPeer(nullptr, &freed);
  auto* a = new TPeer(root, &freed);
  auto* b = new TPeer(root, &freed);
  new TPeer(a, &freed);  // owned one level down
  a->SetName("Edit1");
  b->SetName("Button1");
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->Inserts, 2);
  EXPECT_EQ(root->FindComponent("EDIT1"), a);
  EXPECT_EQ(root->FindComponent("Label1"), nullptr);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_THROW(root->Components(2), EListError);
  delete root;
  EXPECT_EQ(freed, 4);
}

TEST(Components, NamesMustBeIdentifiersAndUniqueAmongSiblings) {
  TPeer root(nullptr);
  auto* a = new TPeer(&root);
  auto* b = new TPeer(&root);
  a->SetName("Button1");
  try {
    b->SetName("button1");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named button1 already exists");
  }
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  a->SetName("BUTTON1");  // renaming itself in another case is fine
  EXPECT_EQ(a->Name(), "BUTTON1");
}

TEST(Components, AReferenceToAFreedComponentIsCleared) {
  TPeer left(nullptr);
  TPeer right(nullptr);
  auto* target = new TPeer(&right);
  auto* sibling = new TPeer(&right);
  auto* holder = new TPeer(&left);
  holder->SetPeer(target);     // across owners: through a free notification
  sibling->Peer = target;      // among siblings: the owner tells everyone
  delete target;
  EXPECT_EQ(holder->Peer, nullptr);
  EXPECT_EQ(sibling->Peer, nullptr);
  // The holder going first leaves nothing dangling in the other direction either.
  auto* target2 = new TPeer(&right);
  holder->SetPeer(target2);
  delete holder;
  delete target2;  // must not touch the freed holder
  SUCCEED();
}

TEST(Components, LoadingStateAndTheAfterLoadingStep) {
  TPeer c(nullptr);
  c.BeginLoading();
  EXPECT_TRUE(c.ComponentState() & csLoading);
  EXPECT_TRUE(c.ComponentState() & csReading);
  c.EndReading();
  EXPECT_FALSE(c.ComponentState() & csReading);
  EXPECT_EQ(c.LoadedCalls, 0);
  c.EndLoading();
  EXPECT_FALSE(c.IsLoading());
  EXPECT_EQ(c.LoadedCalls, 1);
  c.BeginLoading();
  c.CancelLoading();
  EXPECT_EQ(c.LoadedCalls, 1);
}

class TItem : public TCollectionItem {
 public:
  PELLORA_CLASS_NAME(TItem)
  explicit TItem(TCollection* C) : TCollectionItem(C) {}
  void Assign(const TPersistent* Source) override {
    if (auto* o = dynamic_cast<const TItem*>(Source)) {
      Value = o->Value;
      return;
    }
    TCollectionItem::Assign(Source);
  }
  int Value = 0;
};

TEST(Collections, ItemsAreAddedInOrderAndReachedByIndex) {
  TCollection c(TCollection::ItemClass<TItem>());
  auto* a = static_cast<TItem*>(c.Add());
  auto* b = static_cast<TItem*>(c.Add());
  a->Value = 1;
  b->Value = 2;
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Items(1), b);
  EXPECT_EQ(b->Index(), 1);
  b->SetIndex(0);
  EXPECT_EQ(c.Items(0), b);
  try {
    c.Items(5);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  EXPECT_THROW(c.Items(-1), EListError);
  TCollection copy(TCollection::ItemClass<TItem>());
  copy.Assign(&c);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(static_cast<TItem*>(copy.Items(0))->Value, 2);
  delete a;  // an item freed on its own leaves the collection
  EXPECT_EQ(c.Count(), 1);
  c.Delete(0);
  EXPECT_EQ(c.Count(), 0);
  EXPECT_THROW(c.Delete(0), EListError);
}

TEST(Collections, AHashItemShowsItsNameOrElseItsClass) {
  THashCollection c(TCollection::ItemClass<THashCollectionItem>());
  auto* item = static_cast<THashCollectionItem*>(c.Add());
  EXPECT_EQ(item->DisplayName(), "THashCollectionItem");
  item->SetDisplayName("ball");
  EXPECT_EQ(item->Name(), "ball");
  EXPECT_EQ(item->DisplayName(), "ball");
  item->SetName("");
  EXPECT_EQ(item->DisplayName(), "THashCollectionItem");
}

}  // namespace
