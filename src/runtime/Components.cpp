#include "runtime/Components.h"

#include <algorithm>
#include <cctype>

#include "runtime/DesignsRegistry.h"

bool IsValidIdent(const std::string& Name) {
  if (Name.empty()) return false;
  auto letter = [](unsigned char c) { return std::isalpha(c) || c == '_'; };
  if (!letter(static_cast<unsigned char>(Name[0]))) return false;
  return std::all_of(Name.begin() + 1, Name.end(), [&](char c) {
    return letter(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
  });
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i]))) return false;
  }
  return true;
}

// ---- TComponent ----

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  IncludeState(csDestroying);
  // Everyone who asked to hear about this component's end forgets it now, while this
  // object is still whole enough to be compared by address.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    other->ForgetFreeNotifier(this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) ListIndexError(Index);
  return FComponents[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (FOwner == nullptr) return -1;
  const auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents) {
    if (SameText(c->FName, AName)) return c;
  }
  return nullptr;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName) {
  if (AComponent != nullptr && !SameText(CurName, NewName) && FindComponent(NewName) != nullptr) {
    throw EComponentError(SDuplicateName, {NewName});
  }
}

void TComponent::SetName(const std::string& NewName) {
  if (FName == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName)) throw EComponentError(SInvalidName, {NewName});
  if (FOwner != nullptr) {
    FOwner->ValidateRename(this, FName, NewName);
  } else {
    ValidateRename(nullptr, FName, NewName);
  }
  FName = NewName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  ValidateRename(AComponent, "", AComponent->FName);
  Insert(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  // The owner and every sibling hear of the removal, so a reference held by any of
  // them is cleared before the component is gone.
  Notification(AComponent, opRemove);
  for (TComponent* c : std::vector<TComponent*>(FComponents)) {
    if (c != AComponent) c->Notification(AComponent, opRemove);
  }
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (FOwner != nullptr && AComponent->FOwner == FOwner) return;  // siblings hear anyway
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(AComponent);
    AComponent->FreeNotification(this);  // the link is two-way so neither keeps a stale pointer
  }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  ForgetFreeNotifier(AComponent);
  if (AComponent != nullptr) AComponent->ForgetFreeNotifier(this);
}

void TComponent::ForgetFreeNotifier(TComponent* AComponent) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent);
  if (it != FFreeNotifies.end()) FFreeNotifies.erase(it);
}

void TComponent::DestroyComponents() {
  // Last made, first freed: later components may refer to earlier ones.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    RemoveComponent(c);
    delete c;
  }
}

void TComponent::BeginLoading() { IncludeState(csLoading | csReading); }
void TComponent::EndReading() { ExcludeState(csReading); }
void TComponent::EndLoading() {
  ExcludeState(csLoading | csReading);
  Loaded();
}

void TComponent::CancelLoading() { ExcludeState(csLoading | csReading); }

void TComponent::SetDesigning(bool Value) {
  if (Value) {
    IncludeState(csDesigning);
  } else {
    ExcludeState(csDesigning);
  }
}

void TComponent::Loaded() {}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) ForgetFreeNotifier(AComponent);
}

// ---- TCollectionItem ----

TCollectionItem::TCollectionItem(TCollection* Collection) { SetCollection(Collection); }

TCollectionItem::~TCollectionItem() {
  if (FCollection != nullptr) FCollection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (FCollection == Value) return;
  if (FCollection != nullptr) FCollection->RemoveItem(this);
  if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (FCollection == nullptr) return -1;
  const auto& items = FCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  const int cur = Index();
  if (cur < 0 || cur == Value) return;
  auto& items = FCollection->FItems;
  if (Value < 0 || Value >= static_cast<int>(items.size())) ListIndexError(Value);
  items.erase(items.begin() + cur);
  items.insert(items.begin() + Value, this);
  Changed(true);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }
void TCollectionItem::SetDisplayName(const std::string& Value) {
  (void)Value;
  Changed(false);
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection != nullptr && FCollection->FUpdateCount == 0) FCollection->Update(AllItems ? nullptr : this);
}

// ---- THashCollectionItem ----

void THashCollectionItem::SetName(const std::string& Value) {
  if (FName == Value) return;
  FName = Value;
  Changed(false);
}

// ---- TCollection ----

TCollection::TCollection(TItemFactory ItemFactory) : FItemFactory(std::move(ItemFactory)) {}

TCollection::~TCollection() {
  FUpdateCount = 1;  // nobody wants change notices from a collection that is going away
  Clear();
}

TCollectionItem* TCollection::Add() {
  if (!FItemFactory) throw EListError("Collection has no item class");
  TCollectionItem* item = FItemFactory(this);
  if (item->FCollection != this) item->SetCollection(this);
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) { delete Items(Index); }

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) delete FItems.back();
  EndUpdate();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* item : FItems) {
    if (item->FID == ID) return item;
  }
  return nullptr;
}

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TCollection::Assign(const TPersistent* Source) {
  const auto* other = dynamic_cast<const TCollection*>(Source);
  if (other == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* item : other->FItems) Add()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::Update(TCollectionItem* Item) { (void)Item; }

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it != FItems.end()) FItems.erase(it);
  Item->FCollection = nullptr;
  Changed();
}

void RegisterComponentsClasses() {
  RegisterClassInfo("TObject", "");
  RegisterClassInfo("TPersistent", "TObject");
  RegisterClassInfo("TComponent", "TPersistent");
  RegisterClassInfo("TCollectionItem", "TPersistent");
  RegisterClassInfo("TCollection", "TPersistent");
  RegisterPersistentClass<THashCollectionItem, TCollectionItem>().Str("Name", &THashCollectionItem::SetName);
  RegisterClassInfo("THashCollection", "TCollection");
}
