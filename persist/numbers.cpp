#include "persist/numbers.h"

#include <charconv>
#include <stdexcept>

WholeText readWhole(std::string_view text, int64_t* value, bool signs) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (text.empty() || (!signs && text[0] == '-')) return WholeText::NotWhole;
  if (signs && text.size() > 1 && text[0] == '+' && text[1] != '-') ++first;  // +5 as 5
  int64_t v = 0;
  const auto [end, failure] = std::from_chars(first, last, v);
  if (end != last || end == first) return WholeText::NotWhole;
  if (failure == std::errc::result_out_of_range) return WholeText::TooLarge;
  if (failure != std::errc()) return WholeText::NotWhole;
  *value = v;
  return WholeText::Whole;
}

bool readWholeOption(const std::string& name, std::string_view text, int64_t low, int64_t high, int64_t* value,
                     std::string* error, bool signs) {
  const std::string rule = name + " must be a whole number from " + std::to_string(low) +
                           (high == INT64_MAX ? " up" : " to " + std::to_string(high));
  int64_t v = 0;
  switch (readWhole(text, &v, signs)) {
    case WholeText::NotWhole:
      *error = rule;
      return false;
    case WholeText::TooLarge:
      *error = text[0] == '-' || high != INT64_MAX ? rule : name + " is too large";
      return false;
    case WholeText::Whole:
      break;
  }
  if (v < low || v > high) {
    *error = rule;
    return false;
  }
  *value = v;
  return true;
}

int64_t wholeNumber(const nlohmann::json& value, int64_t low, int64_t high, const char* what) {
  bool fits = false;
  int64_t v = 0;
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    fits = u <= (uint64_t)INT64_MAX;
    v = fits ? (int64_t)u : 0;
  } else if (value.is_number_integer()) {
    v = value.get<int64_t>();
    fits = true;
  }
  if (!fits || v < low || v > high) throw std::runtime_error(std::string(what) + " is not a whole number in range");
  return v;
}
