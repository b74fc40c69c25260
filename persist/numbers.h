// Whole numbers from text and from JSON: the one reader of every whole
// number the programs take from a command line, an environment variable or
// a file of their own (options, test aids, CSV columns, parameter settings,
// resume files).
#pragma once
#include <cstdint>
#include <string>
#include <nlohmann/json.hpp>
#include <string_view>

enum class WholeText { Whole, NotWhole, TooLarge };

// text, all of it, as a whole number: digits, after a '-' or '+' when signs
// is true (digits only otherwise, as --seed wants). TooLarge when the digits
// pass what 64 bits hold.
WholeText readWhole(std::string_view text, int64_t* value, bool signs = true);

// text as a whole number from low to high, or the message that names what
// was wanted: "NAME must be a whole number from LOW to HIGH" ("from LOW up"
// when high is INT64_MAX, and "NAME is too large" for a number past it).
bool readWholeOption(const std::string& name, std::string_view text, int64_t low, int64_t high, int64_t* value,
                     std::string* error, bool signs = true);

// A whole number of a JSON file of the programs' own (a resume file),
// checked against [low, high]: anything else (a fraction, a text, a number
// out of range) throws std::runtime_error naming what was read.
int64_t wholeNumber(const nlohmann::json& value, int64_t low, int64_t high, const char* what);
