// Text rules of the open-item and open-URL commands: white-space trimming, tilde expansion,
// the well-formedness test of a URL and the choice of what address to open.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace actions {

// The text without white space and line ends (Unicode's, in UTF-8) at either end.
std::string TrimWhitespace(std::string_view text);

// A leading "~" or "~/..." becomes `home`, "~name/..." that user's home folder; a trailing
// slash is dropped. A path without a leading tilde, or naming an unknown user, is unchanged.
std::string ExpandTildeInPath(std::string_view path, std::string_view home);

// A URL as it parses: nothing when the text holds characters a URL may not carry (white space,
// controls, non-ASCII, " < > \ ^ ` { | }, a "%" without two hex digits, a second "#").
struct ParsedURL {
  std::string scheme;  // empty when the text has none
};
std::optional<ParsedURL> ParseURL(std::string_view text);

// The address that the open-URL command opens for the button's text, or nothing: the text is
// trimmed; a URL with a scheme opens as it is; anything else is tried with "http://" in front,
// except text that already begins with "http://" and does not parse.
std::optional<std::string> URLToOpen(std::string_view text);

}  // namespace actions
