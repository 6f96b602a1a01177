#include "shell/Units.h"

#include "dialogs/About.h"
#include "dialogs/EnterPassword.h"
#include "dialogs/Enter_Password.h"
#include "dialogs/Options1.h"
#include "display/DXClass.h"
#include "display/DXDraws.h"
#include "display/DXImageList.h"
#include "runtime/Controls.h"
#include "runtime/Dialogs.h"
#include "runtime/ExtCtrls.h"
#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"
#include "scene/PelloraUnit.h"

namespace {

// The saver's windows, lowest layer first. A unit with something to register at start is
// one line here.
constexpr TUnit kSaverUnits[] = {
    {TUnitLayer::Runtime, RegisterControlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterFormsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterStdCtrlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterExtCtrlsClasses, nullptr},
    {TUnitLayer::Runtime, RegisterDialogsClasses, nullptr},
    {TUnitLayer::Display, RegisterDXClassClasses, nullptr},
    {TUnitLayer::Display, RegisterDXDrawsClasses, nullptr},
    {TUnitLayer::Display, RegisterDXImageListClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterOptions1Classes, nullptr},
    {TUnitLayer::Dialogs, RegisterAboutClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterEnterPasswordClasses, nullptr},
    {TUnitLayer::Dialogs, RegisterEnter_PasswordClasses, nullptr},
    {TUnitLayer::Scene, RegisterPelloraUnitClasses, nullptr},
};

TUnitList gSaverUnits{kSaverUnits};

}  // namespace

void InitializeUnits(TUnitLayer Top) {
  SceneRuleUnits().Initialize(Top);
  gSaverUnits.Initialize(Top);
}

void FinalizeUnits() {
  gSaverUnits.Finalize();
  SceneRuleUnits().Finalize();
}
