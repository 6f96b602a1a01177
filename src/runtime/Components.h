#pragma once
// The component model: named components owned by other components and freed with them,
// the loading state a stored design puts them in, free notifications so a reference to a
// freed component is cleared, and collections of items.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Classes.h"

PELLORA_EXCEPTION(EComponentError, Exception);

inline constexpr const char* SDuplicateName = "A component named %s already exists";
inline constexpr const char* SInvalidName = "''%s'' is not a valid component name";

// Component state flags; a component's state is a set of them.
using TComponentState = uint32_t;
inline constexpr TComponentState csLoading = 1u << 0;
inline constexpr TComponentState csReading = 1u << 1;
inline constexpr TComponentState csWriting = 1u << 2;
inline constexpr TComponentState csDestroying = 1u << 3;
inline constexpr TComponentState csDesigning = 1u << 4;
inline constexpr TComponentState csFixups = 1u << 5;

enum TOperation { opInsert, opRemove };

// True when Name is an identifier: a letter or '_' followed by letters, digits or '_'.
bool IsValidIdent(const std::string& Name);
// Case-insensitive comparison of identifiers, as names are compared everywhere here.
bool SameText(const std::string& A, const std::string& B);

class TComponent : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TComponent)
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  // Refuses a name that is not an identifier or that another component of the same owner
  // already has; the empty name is always allowed.
  virtual void SetName(const std::string& NewName);
  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;
  int ComponentIndex() const;
  TComponent* FindComponent(const std::string& AName) const;
  TComponentState ComponentState() const { return FComponentState; }
  bool IsLoading() const { return (FComponentState & csLoading) != 0; }
  bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }
  bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Asks for a Notification(this, opRemove) to AComponent when this one is freed, for
  // references that cross owners.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);
  void DestroyComponents();

  // The design reader's entry points into the state; other callers have no use for them.
  void BeginLoading();   // csLoading and csReading
  void EndReading();     // drops csReading
  void EndLoading();     // drops csLoading, then Loaded
  void CancelLoading();  // drops both without Loaded: the design failed
  void SetDesigning(bool Value);

  // The after-loading step, run for each component once the whole design is read.
  virtual void Loaded();
  // A stored design nests a component inside another; for controls that is the parent
  // window. Components without a parent ignore it.
  virtual void SetParentComponent(TComponent* Value) { (void)Value; }
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // Free-style destruction, for code that reads like the rest of the system.
  void Free() { delete this; }

 protected:
  // A subclass validates or reacts to its new name here.
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName);
  void IncludeState(TComponentState Flags) { FComponentState |= Flags; }
  void ExcludeState(TComponentState Flags) { FComponentState &= ~Flags; }

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void ForgetFreeNotifier(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState = 0;
};

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TCollectionItem)
  // Appends the item to Collection (which may be nullptr: a loose item).
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* Value);
  int Index() const;
  void SetIndex(int Value);
  int ID() const { return FID; }
  // The default display name is the class name.
  virtual std::string DisplayName() const;
  virtual void SetDisplayName(const std::string& Value);
  void Free() { delete this; }

 protected:
  // Tells the collection that this item changed; AllItems says whether all may be affected.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

// An ordered list of items that it owns. New items come from the item factory, so a
// stored design can add them without knowing the item class.
class TCollection : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TCollection)
  using TItemFactory = std::function<TCollectionItem*(TCollection* Collection)>;
  template <class TItem>
  static TItemFactory ItemClass() {
    return [](TCollection* c) -> TCollectionItem* { return new TItem(c); };
  }

  explicit TCollection(TItemFactory ItemFactory);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
  TCollectionItem* Items(int Index) const;
  TCollectionItem* FindItemID(int ID) const;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // Copies the items of another collection by Assign on each new item.
  void Assign(const TPersistent* Source) override;
  // The persistent that holds the collection, for naming; nullptr when none was given.
  virtual TPersistent* Owner() const { return nullptr; }

 protected:
  // Called after an item changed (Item nullptr: the whole collection) unless updating.
  virtual void Update(TCollectionItem* Item);
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);

  TItemFactory FItemFactory;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;
};

// A collection that knows its owner, as the image list's collection does.
class TOwnedCollection : public TCollection {
 public:
  PELLORA_CLASS_NAME(TOwnedCollection)
  TOwnedCollection(TPersistent* AOwner, TItemFactory ItemFactory)
      : TCollection(std::move(ItemFactory)), FOwner(AOwner) {}
  TPersistent* Owner() const override { return FOwner; }

 private:
  TPersistent* FOwner;
};

// An item that carries a name; a non-empty name is what the item shows as its display name.
class THashCollectionItem : public TCollectionItem {
 public:
  PELLORA_CLASS_NAME(THashCollectionItem)
  using TCollectionItem::TCollectionItem;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  std::string DisplayName() const override { return FName.empty() ? TCollectionItem::DisplayName() : FName; }
  void SetDisplayName(const std::string& Value) override { SetName(Value); }

 private:
  std::string FName;
};

// A collection of named items.
class THashCollection : public TCollection {
 public:
  PELLORA_CLASS_NAME(THashCollection)
  using TCollection::TCollection;
};

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterComponentsClasses();
