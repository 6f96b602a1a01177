# Turns one file into C++ that registers its bytes with the design reader under the
# file's name: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -DIDENT=... -P Embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Keep the generated lines short enough for any compiler.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${NAME}; do not edit.
#include <cstddef>
#include <cstdint>
#include <string>

void RegisterDesignResource(const std::string& Name, const uint8_t* Data, size_t Size);

namespace {
// One byte more than the file, so an empty file still makes a valid array.
const uint8_t kData_${IDENT}[] = {
${bytes}0x00};
struct Register_${IDENT} {
  Register_${IDENT}() { RegisterDesignResource(\"${NAME}\", kData_${IDENT}, ${size}); }
} gRegister_${IDENT};
}  // namespace
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
