#include "text/QuotedToken.h"

#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace text {

std::string VisibleText(std::string_view text, std::size_t maxCharacters) {
    std::string visible;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == maxCharacters) {
            visible += "...";
            break;
        }
        std::optional<char32_t> character = NextUtf8Character(text, i);
        if (!character) ++i;  // a byte that starts no UTF-8 character
        // C1 controls are read as escapes by some terminals, and have no symbols of their own.
        if (!character || (*character >= 0x80 && *character < 0xA0)) character = 0xFFFD;
        AppendUtf8(visible, VisibleControl(*character));
    }
    return visible;
}

std::string QuotedToken(std::string_view token) {
    return "'" + VisibleText(token, kQuotedTokenLength) + "'";
}

}  // namespace text
