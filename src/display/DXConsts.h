#pragma once
// The display layer's message templates and the object names that fill them. They live in
// their own namespace because the bitmap unit has a "%s cannot be made" of its own.
namespace DXConsts {

inline constexpr const char* SNotLoaded = "%s not loaded";
inline constexpr const char* SCannotInitialized = "%s cannot be initialized";
inline constexpr const char* SNotMade = "%s not made";
inline constexpr const char* SCannotMade = "%s cannot be made";
inline constexpr const char* SNotFoundForm = "Form not found";
inline constexpr const char* SDisplaymodeChange = "Display mode cannot be changed (%dx%d %dbit)";
inline constexpr const char* SInvalidDisplayBitCount = "It should be either of 8 or 16 or 24 or 32";

inline constexpr const char* SDirectDraw = "DirectDraw";
inline constexpr const char* SDirectDrawPrimarySurface = "Primary Surface";
inline constexpr const char* SDirectDrawSurface = "Surface";
inline constexpr const char* SDirectDrawClipper = "Clipper";
inline constexpr const char* SDirectDrawPalette = "Palette";

// Interface names for "%s not made".
inline constexpr const char* SIDirectDraw = "IDirectDraw";
inline constexpr const char* SIDirectDrawSurface = "IDirectDrawSurface";
inline constexpr const char* SIDirectDrawPalette = "IDirectDrawPalette";
inline constexpr const char* SIDirectDrawClipper = "IDirectDrawClipper";

// Where the display service comes from.
inline constexpr const char* SDDrawLibrary = "DDraw.dll";
inline constexpr const char* SDirectDrawCreate = "DirectDrawCreate";

}  // namespace DXConsts
