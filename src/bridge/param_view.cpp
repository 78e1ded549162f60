// Text access of the parameter-block view.
#include "bridge/param_view.hpp"

#include "bridge/text.hpp"

namespace BRMB::Bridge
{
    auto ParamView::Utf8At(size_t Offset) const -> std::string
    {
        return Text::Utf16ToUtf8(Text::FStringView(FStringAt(Offset)));
    }

    auto ParamView::SetUtf8At(size_t Offset, std::string_view Value) const -> void
    {
        FStringAt(Offset) = Text::Utf8ToFString(Value);
    }

    auto ParamView::SetWideAt(size_t Offset, RC::StringViewType Value) const -> void
    {
        FStringAt(Offset) = RC::Unreal::FString(RC::StringType(Value).c_str());
    }
} // namespace BRMB::Bridge
