#pragma once
// The one line the saver shows in its first frames, shared by every program that draws the
// scene so that they all read the same.
inline constexpr const char* CreditCaption = "Pellora - bouncing balls";
inline constexpr int CreditFrames = 1000;
inline constexpr int CreditLeft = 20;
inline constexpr int CreditTop = 20;
inline constexpr int CreditFontSize = 12;
// Pure blue in the 0x00BBGGRR colour layout.
inline constexpr unsigned CreditColor = 0xFF0000;
