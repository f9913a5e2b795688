// Texts put into XML markup: every writer of XML (the host stand-in's
// attribute file, the status map) escapes through this one helper, so that
// what one writes every reader takes back as the same text.
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The UTF-8 text as XML 1.0 character data, safe both between tags and
// inside an attribute value of either quote: the five markup characters
// become their entities, tab, line feed and carriage return character
// references (so that an attribute keeps them instead of folding them to
// blanks), and what XML cannot hold (other control characters, bytes that
// are no UTF-8, surrogates, U+FFFE and U+FFFF) the replacement character
// U+FFFD, one for each byte it stands for. C1 controls stay: XML 1.0 holds
// them, and the code page's undefined bytes come through as such.
std::string XmlEscape(std::string_view text);

}  // namespace platform::text
