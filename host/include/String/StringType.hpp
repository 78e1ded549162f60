// The host's character and string types: wide (UTF-16) text on every platform.
#pragma once

#include <string>
#include <string_view>

namespace RC
{
#if defined(_WIN32)
    using CharType = wchar_t;
#  define STR(text) L##text
#else
    using CharType = char16_t;
#  define STR(text) u##text
#endif
    using StringType = std::basic_string<CharType>;
    using StringViewType = std::basic_string_view<CharType>;
} // namespace RC
