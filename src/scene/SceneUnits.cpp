#include "scene/SceneUnits.h"

#include "image/DIB.h"
#include "runtime/Components.h"
#include "runtime/Graphics.h"

void TUnitList::Initialize(TUnitLayer Top) {
  for (; FStarted < FUnits.size() && FUnits[FStarted].Layer <= Top; ++FStarted) FUnits[FStarted].Initialize();
}

void TUnitList::Finalize() {
  for (; FStarted > 0; --FStarted) {
    if (FUnits[FStarted - 1].Finalize != nullptr) FUnits[FStarted - 1].Finalize();
  }
}

namespace {

// Lowest layer first: what reading the ball picture needs. A unit with something to
// register at start is one line here.
constexpr TUnit kSceneRuleUnits[] = {
    {TUnitLayer::Runtime, RegisterComponentsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterGraphicsClasses, nullptr},
    {TUnitLayer::Image, InitializeDIBUnit, FinalizeDIBUnit},
};

TUnitList gSceneRuleUnits{kSceneRuleUnits};

}  // namespace

TUnitList& SceneRuleUnits() { return gSceneRuleUnits; }
