// Fonts and text, rendered with FreeType through fontconfig.
#include "platform/gdi/GdiInternal.h"

namespace gdi {
void DeleteFontCache(Font*) {}
}  // namespace gdi
