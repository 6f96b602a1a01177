#pragma once
// The program's whole list of units (see scene/SceneUnits.h): the ones the scene's rules
// stand on, then those of the saver's windows.
#include "scene/SceneUnits.h"

void InitializeUnits(TUnitLayer Top = TUnitLayer::Shell);
void FinalizeUnits();
