#include "HeaderAttributes.h"

#include <cstring>

#include "com/Bstr.h"

namespace {

using TagLib::ASF::Attribute;

// The descriptive attributes that the content description object holds, with TagLib's
// accessors for them.
struct DescriptionField
{
    const char16_t* name;
    TagLib::String (TagLib::ASF::Tag::*get)() const;
    void (TagLib::ASF::Tag::*set)(const TagLib::String&);
};

const DescriptionField kDescriptionFields[] = {
    {u"Title", &TagLib::ASF::Tag::title, &TagLib::ASF::Tag::setTitle},
    {u"Author", &TagLib::ASF::Tag::artist, &TagLib::ASF::Tag::setArtist},
    {u"Copyright", &TagLib::ASF::Tag::copyright, &TagLib::ASF::Tag::setCopyright},
    {u"Description", &TagLib::ASF::Tag::comment, &TagLib::ASF::Tag::setComment},
    {u"Rating", &TagLib::ASF::Tag::rating, &TagLib::ASF::Tag::setRating},
};
constexpr size_t kDescriptionFieldCount = std::size(kDescriptionFields);

std::u16string FromTagLib(const TagLib::String& text)
{
    return quillet::Utf8ToUtf16(text.to8Bit(true));
}

TagLib::String ToTagLib(std::u16string_view text)
{
    return TagLib::String(quillet::Utf16ToUtf8(text), TagLib::String::UTF8);
}

std::vector<BYTE> StringValue(std::u16string_view text)
{
    std::vector<BYTE> value((text.size() + 1) * sizeof(char16_t), 0); // with its terminator
    if (!text.empty())
        memcpy(value.data(), text.data(), text.size() * sizeof(char16_t));
    return value;
}

// The text of a stored string value, without its terminator.
std::u16string_view StringOf(const std::vector<BYTE>& value)
{
    const size_t units = value.size() / sizeof(char16_t);
    std::u16string_view text(reinterpret_cast<const char16_t*>(value.data()), units);
    while (!text.empty() && text.back() == u'\0')
        text.remove_suffix(1);
    return text;
}

template <class T> std::vector<BYTE> NumberValue(T number)
{
    std::vector<BYTE> value(sizeof number);
    memcpy(value.data(), &number, sizeof number);
    return value;
}

template <class T> T NumberOf(const std::vector<BYTE>& value)
{
    T number{};
    memcpy(&number, value.data(), std::min(value.size(), sizeof number));
    return number;
}

HeaderAttribute FromTagLib(const TagLib::String& name, const Attribute& attribute)
{
    HeaderAttribute result;
    result.name = FromTagLib(name);
    result.stream = WORD(attribute.stream());
    result.language = WORD(attribute.language());
    result.original = attribute;
    switch (attribute.type()) {
    case Attribute::UnicodeType:
        result.type = WMT_TYPE_STRING;
        result.value = StringValue(FromTagLib(attribute.toString()));
        break;
    case Attribute::BoolType:
        result.type = WMT_TYPE_BOOL;
        result.value = NumberValue<BOOL>(attribute.toBool() ? TRUE : FALSE);
        break;
    case Attribute::DWordType:
        result.type = WMT_TYPE_DWORD;
        result.value = NumberValue<DWORD>(attribute.toUInt());
        break;
    case Attribute::QWordType:
        result.type = WMT_TYPE_QWORD;
        result.value = NumberValue<QWORD>(attribute.toULongLong());
        break;
    case Attribute::WordType:
        result.type = WMT_TYPE_WORD;
        result.value = NumberValue<WORD>(attribute.toUShort());
        break;
    case Attribute::GuidType:
    case Attribute::BytesType: {
        result.type = attribute.type() == Attribute::GuidType ? WMT_TYPE_GUID : WMT_TYPE_BINARY;
        const TagLib::ByteVector bytes = attribute.toByteVector();
        result.value.assign(bytes.begin(), bytes.end());
        break;
    }
    }
    return result;
}

Attribute ToTagLib(const HeaderAttribute& instance)
{
    if (instance.original)
        return *instance.original;
    Attribute attribute;
    switch (instance.type) {
    case WMT_TYPE_STRING:
        attribute = Attribute(ToTagLib(StringOf(instance.value)));
        break;
    case WMT_TYPE_BOOL:
        attribute = Attribute(NumberOf<BOOL>(instance.value) != FALSE);
        break;
    case WMT_TYPE_DWORD:
        attribute = Attribute(static_cast<unsigned int>(NumberOf<DWORD>(instance.value)));
        break;
    case WMT_TYPE_QWORD:
        attribute = Attribute(static_cast<unsigned long long>(NumberOf<QWORD>(instance.value)));
        break;
    case WMT_TYPE_WORD:
        attribute = Attribute(static_cast<unsigned short>(NumberOf<WORD>(instance.value)));
        break;
    case WMT_TYPE_BINARY:
    case WMT_TYPE_GUID: // only read ones exist, and those keep their original
        attribute =
            Attribute(TagLib::ByteVector(reinterpret_cast<const char*>(instance.value.data()),
                                         static_cast<unsigned int>(instance.value.size())));
        break;
    }
    attribute.setLanguage(instance.language);
    attribute.setStream(instance.stream);
    return attribute;
}

const DescriptionField* DescriptionFieldOf(std::u16string_view name)
{
    for (const DescriptionField& field : kDescriptionFields)
        if (name == field.name)
            return &field;
    return nullptr;
}

} // namespace

HeaderAttributes HeaderAttributes::FromTag(const TagLib::ASF::Tag& tag)
{
    HeaderAttributes result;
    for (const DescriptionField& field : kDescriptionFields) {
        const TagLib::String text = (tag.*field.get)();
        if (text.isEmpty())
            continue; // the content description cannot tell an empty field from an absent one
        HeaderAttribute instance;
        instance.name = field.name;
        instance.value = StringValue(FromTagLib(text));
        result.all.push_back(std::move(instance));
    }
    for (const auto& [name, list] : tag.attributeListMap())
        for (const Attribute& attribute : list)
            result.all.push_back(FromTagLib(name, attribute));
    return result;
}

void HeaderAttributes::ApplyTo(TagLib::ASF::Tag& tag) const
{
    bool placed[kDescriptionFieldCount] = {};
    for (const DescriptionField& field : kDescriptionFields)
        (tag.*field.set)(TagLib::String());
    tag.attributeListMap().clear();

    for (const HeaderAttribute& instance : all) {
        const DescriptionField* field = DescriptionFieldOf(instance.name);
        if (field && instance.stream == 0 && instance.language == 0 &&
            instance.type == WMT_TYPE_STRING && !StringOf(instance.value).empty()) {
            bool& done = placed[size_t(field - kDescriptionFields)];
            if (!done) {
                (tag.*field->set)(ToTagLib(StringOf(instance.value)));
                done = true;
                continue;
            }
        }
        tag.addAttribute(ToTagLib(instance.name), ToTagLib(instance));
    }
}

HRESULT HeaderAttributes::NormaliseValue(WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length,
                                         std::vector<BYTE>* stored)
{
    stored->clear();
    if (!value && length != 0)
        return E_POINTER;
    const BYTE* end = value ? value + length : value;
    switch (type) {
    case WMT_TYPE_STRING: {
        if (length % sizeof(char16_t) != 0)
            return E_INVALIDARG;
        std::u16string text(length / sizeof(char16_t), u'\0');
        if (length != 0)
            memcpy(text.data(), value, length);
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        *stored = StringValue(text);
        return S_OK;
    }
    case WMT_TYPE_BINARY:
        stored->assign(value, end);
        return S_OK;
    case WMT_TYPE_DWORD:
    case WMT_TYPE_BOOL:
        if (length != 4)
            return E_INVALIDARG;
        stored->assign(value, end);
        return S_OK;
    case WMT_TYPE_QWORD:
        if (length != 8)
            return E_INVALIDARG;
        stored->assign(value, end);
        return S_OK;
    case WMT_TYPE_WORD:
        if (length != 2)
            return E_INVALIDARG;
        stored->assign(value, end);
        return S_OK;
    case WMT_TYPE_GUID:
        // FIXME: TagLib has no way to make a GUID attribute; only those read from a file exist.
        return length == 16 ? E_NOTIMPL : E_INVALIDARG;
    }
    return E_INVALIDARG;
}

WORD HeaderAttributes::Count(WORD stream) const
{
    size_t count = 0;
    for (const HeaderAttribute& instance : all)
        if (instance.stream == stream)
            ++count;
    return WORD(std::min<size_t>(count, 0xFFFF));
}

size_t HeaderAttributes::Position(WORD stream, WORD index) const
{
    WORD seen = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].stream != stream)
            continue;
        if (seen == index)
            return i;
        ++seen;
        if (seen == 0)
            break; // wrapped: past the last index a WORD can name
    }
    return all.size();
}

HeaderAttribute* HeaderAttributes::At(WORD stream, WORD index)
{
    const size_t position = Position(stream, index);
    return position < all.size() ? &all[position] : nullptr;
}

std::vector<WORD> HeaderAttributes::Indices(WORD stream, std::u16string_view name,
                                            const WORD* language) const
{
    std::vector<WORD> indices;
    WORD index = 0;
    for (const HeaderAttribute& instance : all) {
        if (instance.stream != stream)
            continue;
        if (instance.name == name && (!language || instance.language == *language))
            indices.push_back(index);
        if (++index == 0)
            break;
    }
    return indices;
}

HeaderAttribute* HeaderAttributes::Find(WORD stream, std::u16string_view name)
{
    HeaderAttribute* first = nullptr;
    for (HeaderAttribute& instance : all) {
        if (instance.stream != stream || instance.name != name)
            continue;
        if (instance.language == 0)
            return &instance;
        if (!first)
            first = &instance;
    }
    return first;
}

WORD HeaderAttributes::Add(HeaderAttribute attribute)
{
    const WORD index = Count(attribute.stream);
    all.push_back(std::move(attribute));
    return index;
}

bool HeaderAttributes::Remove(WORD stream, WORD index)
{
    const size_t position = Position(stream, index);
    if (position >= all.size())
        return false;
    all.erase(all.begin() + std::ptrdiff_t(position));
    return true;
}
