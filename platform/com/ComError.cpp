#include "com/ComError.h"

#include <cstdio>

namespace {
std::string Summary(HRESULT hr, const std::u16string& description)
{
    char code[32];
    std::snprintf(code, sizeof code, "0x%08X", unsigned(hr));
    std::string text = std::string("COM call failed with ") + code;
    if (!description.empty())
        text += ": " + quillet::Utf16ToUtf8(description);
    return text;
}

std::u16string DescriptionOf(IErrorInfo* info)
{
    Bstr text;
    if (info && SUCCEEDED(info->GetDescription(text.Out())))
        return std::u16string(text.View());
    return {};
}

ComPtr<IErrorInfo> TakeThreadError()
{
    ComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);
    return info;
}
} // namespace

ComError::ComError(HRESULT hr) : ComError(hr, TakeThreadError()) {}

ComError::ComError(HRESULT hr, ComPtr<IErrorInfo> info)
    : std::runtime_error(Summary(hr, DescriptionOf(info.Get()))), hr(hr), info(std::move(info)),
      description(DescriptionOf(this->info.Get()))
{
}

std::u16string ComError::Source() const
{
    Bstr text;
    if (info && SUCCEEDED(info->GetSource(text.Out())))
        return std::u16string(text.View());
    return {};
}
