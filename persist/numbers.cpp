#include "persist/numbers.h"

#include <charconv>

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
