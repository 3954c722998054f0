// Just enough JSON for one-object-per-line output.
#ifndef TARVEX_CLI_JSON_H_
#define TARVEX_CLI_JSON_H_

#include <string>
#include <string_view>

namespace tarvex {

// A JSON string literal of UTF-8 text, quotes included.
std::string JsonString(std::string_view utf8);

}  // namespace tarvex

#endif  // TARVEX_CLI_JSON_H_
