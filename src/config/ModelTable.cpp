#include "config/ModelTable.h"

#include <algorithm>
#include <set>

#include "platform/Profile.h"

namespace fw {
namespace {

// The numbers d of the keys "<prefix>%d" in a section (any case), as "%d" writes them:
// no sign, no leading zeros. Other keys can never be asked for by that format.
std::set<long long> KeyNumbers(const std::vector<ProfileEntry>& entries, std::string_view prefix) {
  std::set<long long> numbers;
  for (const ProfileEntry& e : entries) {
    if (e.key.size() <= prefix.size() || e.key.size() > prefix.size() + 10) {
      continue;
    }
    bool prefixMatches = true;
    for (size_t i = 0; i < prefix.size(); ++i) {
      char c = e.key[i];
      if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
      prefixMatches = prefixMatches && c == prefix[i];
    }
    std::string_view digits = std::string_view(e.key).substr(prefix.size());
    if (!prefixMatches || (digits.size() > 1 && digits[0] == '0') ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    numbers.insert(std::stoll(std::string(digits)));
  }
  return numbers;
}

// Field `n` (0-based) of a comma-separated line, verbatim; empty when the line has fewer.
std::string Field(const std::string& line, int n) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    size_t comma = line.find(',', start);
    if (comma == std::string::npos) {
      return std::string();
    }
    start = comma + 1;
  }
  size_t end = line.find(',', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string ModelTable::Load(const std::string& path) {
  Profile file = Profile::Load(path);

  // Areas: a missing "Area%d" repeats the value before it (0 for Area0).
  int count = file.GetInt("Area", "Number", areaCount());
  count = std::clamp(count, 0, kMaxAreaCount);
  std::set<long long> present = KeyNumbers(file.GetSection("Area"), "area");
  areaCodes_.assign(static_cast<size_t>(count), 0);
  int previous = 0;
  for (int i = 0; i < count; ++i) {
    if (present.count(i) != 0) {
      previous = file.GetInt("Area", "Area" + std::to_string(i), previous);
    }
    areaCodes_[static_cast<size_t>(i)] = static_cast<uint16_t>(previous);
  }

  // Model lines in the order of their numbers; absent and empty lines are skipped.
  entries_.clear();
  int lines = file.GetInt("Type", "Number", 0);
  for (long long d : KeyNumbers(file.GetSection("Type"), "type")) {
    if (d >= lines) {
      break;
    }
    std::string line = file.GetString("Type", "Type" + std::to_string(d), "");
    if (line.empty()) {
      continue;
    }
    ModelEntry entry;
    entry.index = static_cast<int>(d);
    entry.identity = Field(line, 0);
    entry.typeValue = ProfileTextToInt(Field(line, 1));
    entry.text3 = Field(line, 2);
    entry.text4 = Field(line, 3);
    entries_.push_back(std::move(entry));
  }
  return file.Problem();
}

std::string ModelTable::RenderIdentity(std::span<const uint8_t> block) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(block.size() * 2);
  for (uint8_t b : block) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

std::optional<int> ModelTable::FindByIdentity(std::span<const uint8_t> block) const {
  const std::string rendered = RenderIdentity(block);
  for (const ModelEntry& entry : entries_) {
    if (entry.identity == rendered) {
      // The first line with this identity decides, even when it rejects.
      return entry.typeValue != 0 ? std::optional<int>(entry.typeValue) : std::nullopt;
    }
  }
  return std::nullopt;
}

bool ModelTable::IsAreaAccepted(int code) const {
  const int c = code & 0xFF;
  return std::any_of(areaCodes_.begin(), areaCodes_.end(),
                     [c](uint16_t area) { return c == area + 48; });
}

}  // namespace fw
