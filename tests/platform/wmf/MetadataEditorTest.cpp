// The metadata editor on real files made by FFmpeg: attributes written through the header
// interfaces come back equal, reach the file on Flush where TagLib and ffprobe read them, and
// leave the audio alone; attributes stored once per language are listed and removed instance
// by instance.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <taglib/asffile.h>
#include <taglib/asftag.h>

#include "TempFolder.h"
#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/Wmf.h"

using namespace wmftest;

namespace {

const WCHAR* const kDescriptive[] = {u"Title", u"Author", u"Description", u"Rating", u"Copyright"};

std::u16string ReadString(IWMHeaderInfo* header, const WCHAR* name, HRESULT* result = nullptr)
{
    WORD stream = 0;
    WMT_ATTR_DATATYPE type{};
    WORD length = 0;
    HRESULT hr = header->GetAttributeByName(&stream, name, &type, nullptr, &length);
    std::u16string value;
    if (SUCCEEDED(hr)) {
        std::vector<BYTE> bytes(length);
        hr = header->GetAttributeByName(&stream, name, &type, bytes.data(), &length);
        EXPECT_EQ(WMT_TYPE_STRING, type);
        EXPECT_EQ(0, length % 2);
        if (SUCCEEDED(hr) && length >= 2) {
            value.assign(reinterpret_cast<const char16_t*>(bytes.data()), length / 2);
            EXPECT_EQ(u'\0', value.back()) << "the value comes with its terminator";
            value.pop_back();
        }
    }
    if (result)
        *result = hr;
    return value;
}

// Writes a string as the engine does: the byte length counts the characters, not the
// terminator.
HRESULT WriteString(IWMHeaderInfo* header, const WCHAR* name, const std::u16string& value)
{
    return header->SetAttribute(0, name, WMT_TYPE_STRING,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                WORD(value.size() * 2));
}

std::vector<WORD> Indices(IWMHeaderInfo3* header, const WCHAR* name, WORD* language = nullptr)
{
    WORD count = 0xdead;
    EXPECT_EQ(S_OK, header->GetAttributeIndices(0, name, language, nullptr, &count));
    std::vector<WORD> indices(count);
    if (count > 0) {
        EXPECT_EQ(S_OK, header->GetAttributeIndices(0, name, language, indices.data(), &count));
    }
    return indices;
}

struct InstanceInfo
{
    std::u16string name;
    WMT_ATTR_DATATYPE type{};
    WORD language = 0;
    std::vector<BYTE> value;
};

InstanceInfo At(IWMHeaderInfo3* header, WORD index)
{
    InstanceInfo info;
    WORD nameLength = 0;
    DWORD valueLength = 0;
    EXPECT_EQ(S_OK, header->GetAttributeByIndexEx(0, index, nullptr, &nameLength, &info.type,
                                                  &info.language, nullptr, &valueLength));
    std::u16string name(nameLength, u'\0');
    info.value.resize(valueLength);
    EXPECT_EQ(S_OK, header->GetAttributeByIndexEx(0, index, name.data(), &nameLength, &info.type,
                                                  &info.language, info.value.data(), &valueLength));
    info.name = name.substr(0, nameLength ? nameLength - 1 : 0);
    return info;
}

std::u16string StringOf(const std::vector<BYTE>& value)
{
    std::u16string text(reinterpret_cast<const char16_t*>(value.data()), value.size() / 2);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

class MetadataEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clip = folder / "clip.wma";
        ASSERT_TRUE(MakeWmaClip(clip)) << "ffmpeg could not make the test clip";
        decodedBefore = DecodedBytes(clip);
        ASSERT_GT(decodedBefore, 0u);
        ASSERT_EQ(S_OK, WMCreateEditor(&editor));
        ASSERT_EQ(S_OK, editor.As(&header));
        ASSERT_EQ(S_OK, editor.As(&header3));
    }

    HRESULT Open(const std::string& path) { return editor->Open(U16(path).c_str()); }

    TempFolder folder;
    std::string clip;
    size_t decodedBefore = 0;
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
    ComPtr<IWMHeaderInfo3> header3;
};

} // namespace

TEST_F(MetadataEditorTest, AnswersEditorAndHeaderInterfaces)
{
    ComPtr<IWMHeaderInfo2> header2;
    EXPECT_EQ(S_OK, editor.As(&header2));
    ComPtr<IWMMetadataEditor> back;
    EXPECT_EQ(S_OK, header3.As(&back));
    EXPECT_EQ(editor.Get(), back.Get());
    ComPtr<IUnknown> unknown1, unknown2;
    EXPECT_EQ(S_OK, editor.As(&unknown1));
    EXPECT_EQ(S_OK, header.As(&unknown2));
    EXPECT_EQ(unknown1.Get(), unknown2.Get());
    void* out = reinterpret_cast<void*>(uintptr_t(0xdeadbeef));
    EXPECT_EQ(E_NOINTERFACE, editor->QueryInterface(IID_IWMProfile, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, WMCreateEditor(nullptr));
}

TEST_F(MetadataEditorTest, HeaderCallsNeedAnOpenFile)
{
    WORD stream = 0, length = 100, count = 0;
    WMT_ATTR_DATATYPE type = WMT_ATTR_DATATYPE(0xdead);
    BYTE buffer[100];
    EXPECT_EQ(NS_E_INVALID_REQUEST,
              header->GetAttributeByName(&stream, u"Title", &type, buffer, &length));
    EXPECT_EQ(WMT_TYPE_DWORD, type); // cleared before the state was checked
    EXPECT_EQ(NS_E_INVALID_REQUEST, WriteString(header.Get(), u"Title", u"x"));
    EXPECT_EQ(NS_E_INVALID_REQUEST,
              header3->GetAttributeIndices(0, u"Title", nullptr, nullptr, &count));
    EXPECT_EQ(NS_E_INVALID_REQUEST, header3->DeleteAttribute(0, 0));
    EXPECT_EQ(NS_E_INVALID_REQUEST, header->GetAttributeCount(0, &count));
    EXPECT_EQ(NS_E_INVALID_REQUEST, editor->Flush());
    EXPECT_EQ(S_OK, editor->Close());

    ASSERT_EQ(S_OK, Open(clip));
    EXPECT_EQ(NS_E_INVALID_REQUEST, Open(clip));
    EXPECT_EQ(S_OK, editor->Close());
    EXPECT_EQ(NS_E_INVALID_REQUEST, editor->Flush());
    EXPECT_EQ(S_OK, Open(clip)); // a closed editor opens again
}

TEST_F(MetadataEditorTest, AbsentAttributeIsNotFound)
{
    ASSERT_EQ(S_OK, Open(clip));
    for (const WCHAR* name : kDescriptive) {
        HRESULT hr = S_OK;
        ReadString(header.Get(), name, &hr);
        EXPECT_EQ(ASF_E_NOTFOUND, hr) << U8(name);
        EXPECT_TRUE(Indices(header3.Get(), name).empty());
    }
    WORD stream = 0, length = 0xdead;
    WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
    EXPECT_EQ(ASF_E_NOTFOUND,
              header->GetAttributeByName(&stream, u"No such thing", &type, nullptr, &length));
    EXPECT_EQ(0xdead, length);
    EXPECT_EQ(ASF_E_NOTFOUND, header3->DeleteAttribute(0, 0xFFFF));
}

TEST_F(MetadataEditorTest, DescriptiveAttributesRoundTripThroughTheFile)
{
    const std::pair<const WCHAR*, std::string> values[] = {
        {u"Title", "Grüße aus Köln — 録音 🎵"},        {u"Author", "Zoë Ångström"},
        {u"Description", "Line one; ünïcödé; ½ ∑ ≠"}, {u"Rating", "★★★★☆"},
        {u"Copyright", "© 2024 Ñandú Records"},
    };
    ASSERT_EQ(S_OK, Open(clip));
    for (const auto& [name, value] : values)
        ASSERT_EQ(S_OK, WriteString(header.Get(), name, U16(value)));
    for (const auto& [name, value] : values)
        EXPECT_EQ(U16(value), ReadString(header.Get(), name)) << "before Flush: " << U8(name);
    ASSERT_EQ(S_OK, editor->Flush());
    for (const auto& [name, value] : values)
        EXPECT_EQ(U16(value), ReadString(header.Get(), name)) << "after Flush: " << U8(name);
    ASSERT_EQ(S_OK, editor->Close());

    // A new editor reads them from the file.
    ComPtr<IWMMetadataEditor> reader;
    ComPtr<IWMHeaderInfo> readerHeader;
    ASSERT_EQ(S_OK, WMCreateEditor(&reader));
    ASSERT_EQ(S_OK, reader->Open(U16(clip).c_str()));
    ASSERT_EQ(S_OK, reader.As(&readerHeader));
    for (const auto& [name, value] : values)
        EXPECT_EQ(U16(value), ReadString(readerHeader.Get(), name)) << "reopened: " << U8(name);
    ASSERT_EQ(S_OK, reader->Close());

    // TagLib finds them in the content description.
    {
        TagLib::ASF::File file(clip.c_str());
        ASSERT_TRUE(file.isValid());
        EXPECT_EQ(values[0].second, file.tag()->title().to8Bit(true));
        EXPECT_EQ(values[1].second, file.tag()->artist().to8Bit(true));
        EXPECT_EQ(values[2].second, file.tag()->comment().to8Bit(true));
        EXPECT_EQ(values[3].second, file.tag()->rating().to8Bit(true));
        EXPECT_EQ(values[4].second, file.tag()->copyright().to8Bit(true));
    }

    // ffprobe shows them as tags (its ASF reader skips the content description's rating field)
    // and the audio decodes to exactly what it did before.
    auto format = Probe(clip, "-show_format");
    EXPECT_EQ(values[0].second, format["TAG:title"]);
    EXPECT_EQ(values[1].second, format["TAG:artist"]);
    EXPECT_EQ(values[2].second, format["TAG:comment"]);
    EXPECT_EQ(values[4].second, format["TAG:copyright"]);
    EXPECT_EQ(decodedBefore, DecodedBytes(clip));
}

TEST_F(MetadataEditorTest, ValueFollowsTheTwoCallProtocolInBytes)
{
    ASSERT_EQ(S_OK, Open(clip));
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"Abc"));
    WORD stream = 0, length = 0;
    WMT_ATTR_DATATYPE type{};
    ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, u"Title", &type, nullptr, &length));
    EXPECT_EQ(8, length); // three characters and the terminator
    EXPECT_EQ(WMT_TYPE_STRING, type);

    BYTE buffer[8];
    memset(buffer, 0xAB, sizeof buffer);
    length = 7;
    EXPECT_EQ(ASF_E_BUFFERTOOSMALL,
              header->GetAttributeByName(&stream, u"Title", &type, buffer, &length));
    EXPECT_EQ(8, length);
    EXPECT_EQ(0xAB, buffer[0]);

    // The engine's call: a 65535-byte buffer.
    std::vector<BYTE> big(65535, 0xAB);
    length = 65535;
    ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, u"Title", &type, big.data(), &length));
    EXPECT_EQ(8, length);
    EXPECT_EQ(0, memcmp(big.data(), u"Abc", 8));

    EXPECT_EQ(E_POINTER, header->GetAttributeByName(&stream, u"Title", &type, buffer, nullptr));
    EXPECT_EQ(E_POINTER, header->GetAttributeByName(&stream, nullptr, &type, buffer, &length));
    EXPECT_EQ(E_POINTER, header->GetAttributeByName(nullptr, u"Title", &type, buffer, &length));
    EXPECT_EQ(E_POINTER, header->GetAttributeByName(&stream, u"Title", nullptr, buffer, &length));
}

TEST_F(MetadataEditorTest, SetAttributeReplacesAndTakesEmptyStrings)
{
    ASSERT_EQ(S_OK, Open(clip));
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"First"));
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"Second"));
    EXPECT_EQ(1u, Indices(header3.Get(), u"Title").size());
    EXPECT_EQ(u"Second", ReadString(header.Get(), u"Title"));

    // With its terminator counted, as other callers pass it, the value is the same.
    const char16_t withTerminator[] = u"Third";
    ASSERT_EQ(S_OK, header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                         reinterpret_cast<const BYTE*>(withTerminator),
                                         sizeof withTerminator));
    EXPECT_EQ(u"Third", ReadString(header.Get(), u"Title"));

    const char16_t empty[] = u"";
    ASSERT_EQ(S_OK, header->SetAttribute(0, u"Author", WMT_TYPE_STRING,
                                         reinterpret_cast<const BYTE*>(empty), 0));
    WORD stream = 0, length = 0;
    WMT_ATTR_DATATYPE type{};
    ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, u"Author", &type, nullptr, &length));
    EXPECT_EQ(2, length); // the terminator alone
    EXPECT_EQ(S_OK, editor->Flush());
    EXPECT_EQ(decodedBefore, DecodedBytes(clip));
}

TEST_F(MetadataEditorTest, SetAttributeRefusesMalformedValues)
{
    ASSERT_EQ(S_OK, Open(clip));
    const BYTE bytes[16] = {};
    EXPECT_EQ(E_POINTER, header->SetAttribute(0, nullptr, WMT_TYPE_STRING, bytes, 2));
    EXPECT_EQ(E_POINTER, header->SetAttribute(0, u"Title", WMT_TYPE_STRING, nullptr, 2));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"", WMT_TYPE_STRING, bytes, 2));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Title", WMT_TYPE_STRING, bytes, 3));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Count", WMT_TYPE_DWORD, bytes, 3));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Count", WMT_TYPE_WORD, bytes, 4));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Count", WMT_TYPE_QWORD, bytes, 4));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Flag", WMT_TYPE_BOOL, bytes, 2));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(0, u"Odd", WMT_ATTR_DATATYPE(7), bytes, 4));
    EXPECT_EQ(E_INVALIDARG, header->SetAttribute(64, u"Title", WMT_TYPE_STRING, bytes, 2));
    EXPECT_EQ(E_NOTIMPL, header->SetAttribute(0, u"Id", WMT_TYPE_GUID, bytes, 16));
    WORD count = 0;
    ASSERT_EQ(S_OK, header->GetAttributeCount(0, &count));
    const WORD before = count;
    EXPECT_EQ(S_OK, editor->Flush());
    ASSERT_EQ(S_OK, header->GetAttributeCount(0, &count));
    EXPECT_EQ(before, count); // nothing refused was stored
}

TEST_F(MetadataEditorTest, TypedAttributesRoundTrip)
{
    ASSERT_EQ(S_OK, Open(clip));
    const DWORD dword = 0x12345678;
    const QWORD qword = 0x0123456789ABCDEFull;
    const WORD word = 0xBEEF;
    const BOOL flag = TRUE;
    const BYTE binary[] = {0, 1, 2, 0xFF, 0x80};
    WORD index = 0xdead;
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Q/Dword", &index, WMT_TYPE_DWORD, 0,
                                          reinterpret_cast<const BYTE*>(&dword), 4));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Q/Qword", &index, WMT_TYPE_QWORD, 0,
                                          reinterpret_cast<const BYTE*>(&qword), 8));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Q/Word", &index, WMT_TYPE_WORD, 0,
                                          reinterpret_cast<const BYTE*>(&word), 2));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Q/Bool", &index, WMT_TYPE_BOOL, 0,
                                          reinterpret_cast<const BYTE*>(&flag), 4));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Q/Binary", &index, WMT_TYPE_BINARY, 0, binary,
                                          sizeof binary));
    EXPECT_EQ(index, Indices(header3.Get(), u"Q/Binary").at(0));
    const char16_t french[] = u"Le titre";
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"Title", &index, WMT_TYPE_STRING, 1,
                                          reinterpret_cast<const BYTE*>(french), sizeof french));
    ASSERT_EQ(S_OK, editor->Flush());
    ASSERT_EQ(S_OK, editor->Close());
    ASSERT_EQ(S_OK, Open(clip));

    auto check = [&](const WCHAR* name, WMT_ATTR_DATATYPE type, const void* value, size_t size) {
        SCOPED_TRACE(U8(name));
        const std::vector<WORD> indices = Indices(header3.Get(), name);
        ASSERT_EQ(1u, indices.size());
        const InstanceInfo info = At(header3.Get(), indices[0]);
        EXPECT_EQ(name, info.name);
        EXPECT_EQ(type, info.type);
        ASSERT_EQ(size, info.value.size());
        EXPECT_EQ(0, memcmp(value, info.value.data(), size));
    };
    check(u"Q/Dword", WMT_TYPE_DWORD, &dword, 4);
    check(u"Q/Qword", WMT_TYPE_QWORD, &qword, 8);
    check(u"Q/Word", WMT_TYPE_WORD, &word, 2);
    check(u"Q/Bool", WMT_TYPE_BOOL, &flag, 4);
    check(u"Q/Binary", WMT_TYPE_BINARY, binary, sizeof binary);
    WORD language = 1;
    const std::vector<WORD> titles = Indices(header3.Get(), u"Title", &language);
    ASSERT_EQ(1u, titles.size());
    EXPECT_EQ(u"Le titre", StringOf(At(header3.Get(), titles[0]).value));
    EXPECT_EQ(1u, Indices(header3.Get(), u"Title").size()); // no neutral title was made
    EXPECT_EQ(decodedBefore, DecodedBytes(clip));
}

TEST_F(MetadataEditorTest, DeletingLeavesLowerIndicesValid)
{
    ASSERT_EQ(S_OK, Open(clip));
    WORD a = 0, b = 0, c = 0;
    const char16_t text[] = u"v";
    const BYTE* value = reinterpret_cast<const BYTE*>(text);
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"A", &a, WMT_TYPE_STRING, 0, value, 2));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"B", &b, WMT_TYPE_STRING, 0, value, 2));
    ASSERT_EQ(S_OK, header3->AddAttribute(0, u"C", &c, WMT_TYPE_STRING, 0, value, 2));
    ASSERT_LT(a, b);
    ASSERT_LT(b, c);
    WORD countBefore = 0, countAfter = 0;
    ASSERT_EQ(S_OK, header3->GetAttributeCountEx(0, &countBefore));
    ASSERT_EQ(S_OK, header3->DeleteAttribute(0, b));
    ASSERT_EQ(S_OK, header3->GetAttributeCountEx(0, &countAfter));
    EXPECT_EQ(countBefore - 1, countAfter);
    EXPECT_EQ(u"A", At(header3.Get(), a).name);
    EXPECT_EQ(u"C", At(header3.Get(), b).name); // what was above moved down
    EXPECT_EQ(ASF_E_NOTFOUND, header3->DeleteAttribute(0, countAfter));
}

TEST_F(MetadataEditorTest, CloseDropsChangesNotFlushed)
{
    ASSERT_EQ(S_OK, Open(clip));
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"Kept"));
    ASSERT_EQ(S_OK, editor->Flush());
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"Dropped"));
    ASSERT_EQ(S_OK, editor->Close());
    ASSERT_EQ(S_OK, Open(clip));
    EXPECT_EQ(u"Kept", ReadString(header.Get(), u"Title"));
}

TEST_F(MetadataEditorTest, FlushOfAReadOnlyFileIsRefused)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    ASSERT_EQ(0, chmod(clip.c_str(), 0444));
    ASSERT_EQ(S_OK, Open(clip));
    EXPECT_EQ(S_OK, editor->Flush()); // nothing to write
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Title", u"x"));
    EXPECT_EQ(E_ACCESSDENIED, editor->Flush());
}

// A file as another program writes it: the title in the content description (the neutral
// language) and again in French (language 1), a mood in two languages.
class MultiLanguageTest : public MetadataEditorTest
{
protected:
    void SetUp() override
    {
        MetadataEditorTest::SetUp();
        TagLib::ASF::File file(clip.c_str());
        ASSERT_TRUE(file.isValid());
        file.tag()->setTitle(TagLib::String("Morning", TagLib::String::UTF8));
        TagLib::ASF::Attribute french(TagLib::String("Le matin", TagLib::String::UTF8));
        french.setLanguage(1);
        file.tag()->addAttribute("Title", french);
        TagLib::ASF::Attribute moodNeutral(TagLib::String("calm", TagLib::String::UTF8));
        TagLib::ASF::Attribute moodFrench(TagLib::String("calme", TagLib::String::UTF8));
        moodFrench.setLanguage(1);
        file.tag()->addAttribute("WM/Mood", moodNeutral);
        file.tag()->addAttribute("WM/Mood", moodFrench);
        ASSERT_TRUE(file.save());
    }
};

TEST_F(MultiLanguageTest, EveryLanguageInstanceIsListed)
{
    ASSERT_EQ(S_OK, Open(clip));
    const std::vector<WORD> titles = Indices(header3.Get(), u"Title");
    ASSERT_EQ(2u, titles.size());
    std::map<WORD, std::u16string> byLanguage;
    for (WORD index : titles) {
        const InstanceInfo info = At(header3.Get(), index);
        EXPECT_EQ(u"Title", info.name);
        EXPECT_EQ(WMT_TYPE_STRING, info.type);
        byLanguage[info.language] = StringOf(info.value);
    }
    EXPECT_EQ(u"Morning", byLanguage[0]);
    EXPECT_EQ(u"Le matin", byLanguage[1]);

    WORD french = 1;
    ASSERT_EQ(1u, Indices(header3.Get(), u"Title", &french).size());
    EXPECT_EQ(1, At(header3.Get(), Indices(header3.Get(), u"Title", &french)[0]).language);
    WORD german = 2;
    EXPECT_TRUE(Indices(header3.Get(), u"Title", &german).empty());
    EXPECT_EQ(2u, Indices(header3.Get(), u"WM/Mood").size());

    // By name, the neutral language wins.
    EXPECT_EQ(u"Morning", ReadString(header.Get(), u"Title"));

    // A short index buffer is refused with the count needed.
    WORD one[1] = {0xdead};
    WORD count = 1;
    EXPECT_EQ(ASF_E_BUFFERTOOSMALL,
              header3->GetAttributeIndices(0, u"Title", nullptr, one, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(0xdead, one[0]);
    EXPECT_EQ(E_POINTER, header3->GetAttributeIndices(0, nullptr, nullptr, one, &count));
    EXPECT_EQ(E_POINTER, header3->GetAttributeIndices(0, u"Title", nullptr, one, nullptr));
}

TEST_F(MultiLanguageTest, DeletingInDescendingOrderRemovesEveryInstance)
{
    ASSERT_EQ(S_OK, Open(clip));
    std::vector<WORD> titles = Indices(header3.Get(), u"Title");
    ASSERT_EQ(2u, titles.size());
    std::sort(titles.rbegin(), titles.rend());
    for (WORD index : titles)
        ASSERT_EQ(S_OK, header3->DeleteAttribute(0, index));
    EXPECT_TRUE(Indices(header3.Get(), u"Title").empty());
    HRESULT hr = S_OK;
    ReadString(header.Get(), u"Title", &hr);
    EXPECT_EQ(ASF_E_NOTFOUND, hr);
    // The other attribute's instances are untouched and still reachable by their indices.
    for (WORD index : Indices(header3.Get(), u"WM/Mood"))
        EXPECT_EQ(u"WM/Mood", At(header3.Get(), index).name);
    ASSERT_EQ(S_OK, editor->Flush());
    ASSERT_EQ(S_OK, editor->Close());

    TagLib::ASF::File file(clip.c_str());
    ASSERT_TRUE(file.isValid());
    EXPECT_TRUE(file.tag()->title().isEmpty());
    EXPECT_FALSE(file.tag()->contains("Title"));
    EXPECT_EQ(2u, file.tag()->attribute("WM/Mood").size());
    EXPECT_EQ("", Probe(clip, "-show_format")["TAG:title"]);
    EXPECT_EQ(decodedBefore, DecodedBytes(clip));
}

TEST_F(MultiLanguageTest, LanguagesSurviveAnEditOfAnotherAttribute)
{
    ASSERT_EQ(S_OK, Open(clip));
    ASSERT_EQ(S_OK, WriteString(header.Get(), u"Author", u"Someone"));
    ASSERT_EQ(S_OK, editor->Flush());
    ASSERT_EQ(S_OK, editor->Close());
    ASSERT_EQ(S_OK, Open(clip));
    WORD french = 1;
    const std::vector<WORD> frenchTitles = Indices(header3.Get(), u"Title", &french);
    ASSERT_EQ(1u, frenchTitles.size());
    EXPECT_EQ(u"Le matin", StringOf(At(header3.Get(), frenchTitles[0]).value));
    EXPECT_EQ(u"Morning", ReadString(header.Get(), u"Title"));
    EXPECT_EQ(2u, Indices(header3.Get(), u"WM/Mood").size());
}
