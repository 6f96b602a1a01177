// Linking the SDL presenter is what lets a program show its windows on a display: this
// offers it to the window core before main runs.
#include "platform/window/Presenter.h"

namespace window_internal {
namespace {

[[maybe_unused]] const bool gRegistered = (RegisterDisplayPresenter(&MakeSdlPresenter), true);

}  // namespace
}  // namespace window_internal
