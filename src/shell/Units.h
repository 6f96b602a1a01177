#pragma once
// The units that make something known when the program starts: classes the design reader
// makes, graphic classes the picture container reads. The program runs the list first
// thing and takes it down in reverse order at the end; each test program runs the part of
// it up to the layer it tests, so that a lower layer is tested as it behaves on its own.

// The layers in the order they are built, each above the ones before it.
enum class TUnitLayer { Runtime, Image, Display, Settings, Dialogs, Scene, Shell };

void InitializeUnits(TUnitLayer Top = TUnitLayer::Shell);
void FinalizeUnits();
