// The registry file reader of `pellora-reg import`, on files a person hands it. A file is
// either refused with the file's name, a line of the file and a sentence, or read whole;
// what is read, written out again as the export writes it, reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "RegFile.h"

namespace {

constexpr const char* kName = "handed.reg";

void Check(bool condition) {
  if (!condition) std::abort();
}

// The number of lines the reader sees in `text`.
size_t Lines(const std::string& text) {
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

// "handed.reg:LINE: sentence." with LINE one of the file's lines.
void CheckRefusal(const std::string& text, const std::string& error) {
  const std::string prefix = std::string(kName) + ":";
  Check(error.compare(0, prefix.size(), prefix) == 0);
  size_t at = prefix.size();
  size_t line = 0;
  while (at < error.size() && error[at] >= '0' && error[at] <= '9' && line <= Lines(text)) {
    line = line * 10 + static_cast<size_t>(error[at++] - '0');
  }
  Check(line >= 1 && line <= Lines(text));
  Check(error.compare(at, 2, ": ") == 0 && error.size() > at + 2 && error.back() == '.');
}

bool Same(const std::vector<ImportSection>& a, const std::vector<ImportSection>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].subkey != b[i].subkey || a[i].values.size() != b[i].values.size()) return false;
    for (size_t j = 0; j < a[i].values.size(); ++j) {
      const StoredValue& x = a[i].values[j].value;
      const StoredValue& y = b[i].values[j].value;
      if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
  }
  return true;
}

// The sections that add values, as the export writes them; false when one holds what the
// format cannot carry (the export refuses those too).
bool Export(const std::vector<ImportSection>& sections, std::string* text, std::vector<ImportSection>* written) {
  *text = kExportHeader;
  for (const ImportSection& section : sections) {
    if (section.remove) continue;
    ImportSection kept{section.subkey, false, {}};
    std::vector<StoredValue> values;
    for (const ImportValue& value : section.values) {
      if (value.remove) continue;
      kept.values.push_back(value);
      values.push_back(value.value);
    }
    std::string error;
    const auto out = ExportSection(section.subkey, values, &error);
    if (!out) return false;
    *text += *out;
    written->push_back(std::move(kept));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto sections = ParseExport(text, kName, &error);
  if (!sections) {
    CheckRefusal(text, error);
    return 0;
  }
  std::string exported;
  std::vector<ImportSection> written;
  if (!Export(*sections, &exported, &written)) return 0;
  const auto back = ParseExport(exported, kName, &error);
  Check(back.has_value() && Same(*back, written));
  return 0;
}
