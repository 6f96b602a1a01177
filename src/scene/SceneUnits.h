#pragma once
// The units that make something known when a program starts: classes the design reader
// makes, graphic classes the picture container reads. A program starts them first thing and
// takes them down in reverse order at the end; a test program starts them up to the layer it
// tests, so that a lower layer is tested as it behaves on its own.
//
// The list is written once, in two parts: the units the scene's rules stand on (reading the
// ball picture) are listed here, where the hack, which links the rules and no windows,
// starts them too; the units of the saver's windows follow in shell/Units.cpp. Each part
// runs lowest layer first, and the first part before the second.
#include <cstddef>
#include <span>

// The layers in the order they are built, each above the ones before it.
enum class TUnitLayer { Runtime, Image, Display, Settings, Dialogs, Scene, Shell };

struct TUnit {
  TUnitLayer Layer;
  void (*Initialize)();
  void (*Finalize)();  // nullptr: nothing to take down
};

// A part of the list, lowest layer first, that remembers how far it has started: a second
// start, or one to a higher layer, starts only the units not started yet, and Finalize takes
// down only those started.
class TUnitList {
 public:
  constexpr explicit TUnitList(std::span<const TUnit> Units) : FUnits(Units) {}
  void Initialize(TUnitLayer Top = TUnitLayer::Shell);
  void Finalize();

 private:
  std::span<const TUnit> FUnits;
  size_t FStarted = 0;
};

// The units the scene's rules stand on: the component and graphic classes, and the
// device-independent bitmap.
TUnitList& SceneRuleUnits();
