#include "shell/Units.h"

#include <cstddef>
#include <iterator>

#include "dialogs/About.h"
#include "dialogs/EnterPassword.h"
#include "dialogs/Enter_Password.h"
#include "dialogs/Options1.h"
#include "display/DXClass.h"
#include "display/DXDraws.h"
#include "display/DXImageList.h"
#include "image/DIB.h"
#include "runtime/Components.h"
#include "runtime/Controls.h"
#include "runtime/Dialogs.h"
#include "runtime/ExtCtrls.h"
#include "runtime/Forms.h"
#include "runtime/Graphics.h"
#include "runtime/StdCtrls.h"
#include "scene/PelloraUnit.h"

namespace {

struct TUnit {
  TUnitLayer Layer;
  void (*Initialize)();
  void (*Finalize)();  // nullptr: nothing to take down
};

// Lowest layer first. A unit with something to register at start is one line here.
constexpr TUnit kUnits[] = {
    {TUnitLayer::Runtime, RegisterComponentsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterGraphicsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterControlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterFormsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterStdCtrlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterExtCtrlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterDialogsClasses, nullptr},
    {TUnitLayer::Image, InitializeDIBUnit, FinalizeDIBUnit},
    {TUnitLayer::Display, RegisterDXClassClasses, nullptr},
    {TUnitLayer::Display, RegisterDXDrawsClasses, nullptr},
    {TUnitLayer::Display, RegisterDXImageListClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterOptions1Classes, nullptr},
    {TUnitLayer::Dialogs, RegisterAboutClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterEnterPasswordClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterEnter_PasswordClasses, nullptr},
    {TUnitLayer::Scene, RegisterPelloraUnitClasses, nullptr},
};

// How many units of the list have started: a second start, or one to a higher layer,
// starts only those not started yet, and FinalizeUnits takes down only those started.
size_t gStarted = 0;

}  // namespace

void InitializeUnits(TUnitLayer Top) {
  for (; gStarted < std::size(kUnits) && kUnits[gStarted].Layer <= Top; ++gStarted) kUnits[gStarted].Initialize();
}

void FinalizeUnits() {
  for (; gStarted > 0; --gStarted) {
    if (kUnits[gStarted - 1].Finalize != nullptr) kUnits[gStarted - 1].Finalize();
  }
}
