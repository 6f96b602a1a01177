#pragma once
// Which run mode the first command-line argument asks for. Only its first two characters
// count, after upper-casing, so "/c:1234" asks for the same mode as "/C".
#include <string>
#include <vector>

enum class TRunMode { rmSaver, rmConfigure, rmSetPassword };

// The longest argument text kept; the switch only ever looks at two characters of it.
inline constexpr size_t MaxArgumentLength = 255;

// The first argument as the switch sees it: ASCII letters upper-cased (every other byte,
// those above 127 included, unchanged), cut to MaxArgumentLength characters.
std::string PrepareArgument(std::string argument);

// The first two characters (or fewer) of the prepared first argument; empty when the
// program was started without one.
std::string RunSwitch(int argc, const char* const* argv);

// The modes whose tests the switch passes, in the order the tests are made. The saver
// test, the configure test and the set-password test are each made regardless of the
// others; since they compare one switch with three different texts, at most one passes.
std::vector<TRunMode> RunModesFor(const std::string& runSwitch);
