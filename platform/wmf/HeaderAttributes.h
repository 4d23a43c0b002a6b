// The attributes of one ASF header as the header interfaces see them: a list of stored
// instances, each a name, a stream, a language and a typed value. The descriptive attributes of
// the content description (Title, Author, Description, Copyright, Rating) are instances like
// the others. Used on the thread of the editor that owns it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <taglib/asfattribute.h>
#include <taglib/asftag.h>

#include "wmf/Wmf.h"

struct HeaderAttribute
{
    std::u16string name;
    WORD stream = 0;   // 0 for the file
    WORD language = 0; // index into the file's language list; 0 is the neutral language
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    // The value as the interfaces pass it: strings as UTF-16 with one terminator, numbers in
    // the machine's byte order, BOOL as a 4-byte BOOL.
    std::vector<BYTE> value;
    // The attribute as it was read, written back as is while the value is untouched; it keeps
    // what we cannot write ourselves (GUID values).
    std::optional<TagLib::ASF::Attribute> original;
};

class HeaderAttributes
{
public:
    // The instances of a tag: the content description's fields first, then the attribute lists.
    // May throw std::bad_alloc.
    static HeaderAttributes FromTag(const TagLib::ASF::Tag& tag);
    // Replaces the tag's content with these instances. The first neutral-language, non-empty
    // string instance of each descriptive name goes to the content description, where readers
    // look for it; every other instance goes to the attribute lists. May throw std::bad_alloc.
    void ApplyTo(TagLib::ASF::Tag& tag) const;

    // Checks a value passed to the interfaces and brings it to the stored form: a string may
    // come with or without its terminator. E_INVALIDARG for a length that does not fit the type,
    // E_NOTIMPL for GUID values, which TagLib cannot write. May throw std::bad_alloc.
    static HRESULT NormaliseValue(WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length,
                                  std::vector<BYTE>* stored);

    // Instances of one stream, indexed from 0 in a stable order.
    WORD Count(WORD stream) const;
    HeaderAttribute* At(WORD stream, WORD index);
    // Indices of every instance of name in stream, of one language or (null) of all.
    std::vector<WORD> Indices(WORD stream, std::u16string_view name, const WORD* language) const;
    // The neutral-language instance of name, else its first instance; null when absent.
    HeaderAttribute* Find(WORD stream, std::u16string_view name);
    // Appends an instance and returns its index in its stream. Callers check Count first: a
    // stream holds at most 65535 instances, as indices are WORDs.
    WORD Add(HeaderAttribute attribute);
    // Removes one instance; the instances below it keep their indices. False past the end.
    bool Remove(WORD stream, WORD index);

private:
    // Position in `all` of instance `index` of stream, or all.size().
    size_t Position(WORD stream, WORD index) const;

    std::vector<HeaderAttribute> all;
};
