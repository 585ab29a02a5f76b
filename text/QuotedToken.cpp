#include "text/QuotedToken.h"

#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace text {

std::string QuotedToken(std::string_view token) {
    std::string quoted = "'";
    std::size_t shown = 0;
    for (std::size_t i = 0; i < token.size(); ++shown) {
        if (shown == kQuotedTokenLength) {
            quoted += "...";
            break;
        }
        std::optional<char32_t> character = NextUtf8Character(token, i);
        if (!character) ++i;  // a byte that starts no UTF-8 character
        // C1 controls are read as escapes by some terminals, and have no symbols of their own.
        if (!character || (*character >= 0x80 && *character < 0xA0)) character = 0xFFFD;
        AppendUtf8(quoted, VisibleControl(*character));
    }
    return quoted + "'";
}

}  // namespace text
