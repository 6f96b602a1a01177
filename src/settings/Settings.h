#pragma once
// Where the saver keeps its settings, what the values are called, what a missing value
// means, and the two small conversions every reader and writer of them shares.
#include <cstdint>
#include <string>

#include "settings/Registry.h"

// Both keys live under the current user's root.
inline constexpr const char* SettingsKeyPath = "Software\\Korvent_Programs\\Pellora";
inline constexpr const char* DesktopKeyPath = "Control Panel\\Desktop";

// Settings values are read and written with an empty section: the settings key itself.
inline constexpr const char* SettingsSection = "";

inline constexpr const char* PictureName = "Picture";
inline constexpr const char* BallsCountName = "BallsCount";
inline constexpr const char* BallsSpeedName = "BallsSpeed";
inline constexpr const char* PasswordName = "Password";
inline constexpr const char* PasswordFlagName = "PasswordFlag";
inline constexpr const char* UsePasswordName = "ScreenSaveUsePassword";

// A "Picture" equal to this text means the built-in ball. It is written with its quotes,
// so no file name can ever be equal to it.
inline constexpr const char* StandardPicture = "\"Standart\"";

inline constexpr const char* DefaultPicture = StandardPicture;
inline constexpr const char* DefaultBallsCount = "100";
inline constexpr const char* DefaultBallsSpeed = "6";
inline constexpr const char* DefaultPassword = "";
// The only text the Set Password dialog ever stores in "PasswordFlag".
inline constexpr const char* PasswordFlagOn = "1";

// The scene holds counts as unsigned 8-bit numbers: the parsed integer modulo 256, so
// 300 becomes 44 and -1 becomes 255.
uint8_t ReduceToByte(int32_t value);
// A stored number text parsed by the runtime's whole-number rules, then reduced; where
// the parser stopped does not matter to any caller.
uint8_t ParseSettingByte(const std::string& text);

// A stored "Picture" counts only when it names a file that is there now; the marker never
// does, even where the file system would allow a name with quotes in it.
bool NamesExistingPicture(const std::string& path);

// Every writer stores its text followed by one zero byte: it appends the zero itself and
// the registry call stores exactly the resulting length, so "6" becomes 0x36 0x00.
std::string WithTerminatingZero(const std::string& text);
void WriteSettingText(TRegIniFile& settings, const std::string& name, const std::string& text);
std::string ReadSettingText(TRegIniFile& settings, const std::string& name, const std::string& defaultValue);
