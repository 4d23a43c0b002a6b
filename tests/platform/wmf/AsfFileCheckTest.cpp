// Files the metadata editor must refuse cleanly: missing, empty, not ASF, cut short, and a few
// hundred seeded mutations of a real header. Each open fails with an HRESULT or, where the
// damage left the file readable, works; nothing crashes or hangs, and the editor stays usable.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "TempFolder.h"
#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/Wmf.h"

using namespace wmftest;

namespace {

std::vector<char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

uint64_t ReadU64(const std::vector<char>& bytes, size_t offset)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[offset + size_t(i)]);
    return value;
}

class AsfFileCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clip = folder / "clip.wma";
        ASSERT_TRUE(MakeWmaClip(clip)) << "ffmpeg could not make the test clip";
        original = ReadAll(clip);
        ASSERT_GT(original.size(), 1000u);
        headerSize = ReadU64(original, 16);
        ASSERT_LT(headerSize, original.size());
        ASSERT_EQ(S_OK, WMCreateEditor(&editor));
        ASSERT_EQ(S_OK, editor.As(&header));
    }

    HRESULT Open(const std::string& path) { return editor->Open(U16(path).c_str()); }

    // After a refused open the editor is closed and takes the next file.
    void ExpectStillUsable()
    {
        WORD count = 0;
        EXPECT_EQ(NS_E_INVALID_REQUEST, header->GetAttributeCount(0, &count));
        ASSERT_EQ(S_OK, Open(clip));
        EXPECT_EQ(S_OK, editor->Close());
    }

    HRESULT OpenBytes(const std::vector<char>& bytes)
    {
        const std::string path = folder / "damaged.wma";
        WriteAll(path, bytes);
        return Open(path);
    }

    TempFolder folder;
    std::string clip;
    std::vector<char> original;
    uint64_t headerSize = 0;
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
};

} // namespace

TEST_F(AsfFileCheckTest, MissingFileIsNotFound)
{
    EXPECT_EQ(NS_E_FILE_NOT_FOUND, Open(folder / "absent.wma"));
    EXPECT_EQ(NS_E_FILE_NOT_FOUND, Open(folder / "no-folder/absent.wma"));
    ExpectStillUsable();
    EXPECT_EQ(E_POINTER, editor->Open(nullptr));
    EXPECT_EQ(E_INVALIDARG, editor->Open(u""));
}

TEST_F(AsfFileCheckTest, FilesThatAreNotAsfAreRefused)
{
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, Open(folder.Path().string()));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes({}));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes({'R', 'I', 'F', 'F'}));

    std::mt19937 random(1234);
    std::vector<char> noise(4096);
    for (char& byte : noise)
        byte = char(random());
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(noise));

    // Only the header's GUID is right.
    std::vector<char> guidOnly(original.begin(), original.begin() + 16);
    guidOnly.resize(4096, '\0');
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(guidOnly));

    // Another container made by the same tool.
    const std::string wav = folder / "clip.wav";
    RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1 " + Quote(wav));
    ASSERT_TRUE(std::filesystem::exists(wav));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, Open(wav));
    ExpectStillUsable();
}

TEST_F(AsfFileCheckTest, TruncatedFilesAreRefused)
{
    for (size_t size : {size_t(1), size_t(29), size_t(30), size_t(headerSize / 2),
                        size_t(headerSize), size_t(headerSize + 49), size_t(headerSize + 100),
                        original.size() / 2, original.size() - 1}) {
        SCOPED_TRACE(size);
        std::vector<char> cut(original.begin(), original.begin() + std::ptrdiff_t(size));
        EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(cut));
    }
    ExpectStillUsable();
}

TEST_F(AsfFileCheckTest, StreamedAndUnfinishedRecordingsStillOpen)
{
    // FFmpeg writing to a pipe cannot go back to the header: the data object keeps its empty
    // size of 50 bytes, and the packets follow it.
    const std::string piped = folder / "piped.wma";
    RunCommand("ffmpeg -nostdin -v error -f lavfi -i sine=duration=2 -c:a wmav2 -b:a 64k "
               "-f asf - > " +
               Quote(piped));
    const std::vector<char> streamed = ReadAll(piped);
    ASSERT_GT(streamed.size(), 1000u);
    ASSERT_EQ(50u, ReadU64(streamed, size_t(ReadU64(streamed, 16)) + 16));
    ASSERT_EQ(S_OK, Open(piped));
    const char16_t title[] = u"Streamed";
    EXPECT_EQ(S_OK, header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                         reinterpret_cast<const BYTE*>(title), 16));
    EXPECT_EQ(S_OK, editor->Flush());
    EXPECT_EQ(S_OK, editor->Close());
    EXPECT_EQ("Streamed", Probe(piped, "-show_format")["TAG:title"]);

    // A writer killed before it finished may leave the size at 0.
    std::vector<char> unfinished = original;
    for (int i = 0; i < 8; ++i)
        unfinished[headerSize + 16 + size_t(i)] = 0;
    EXPECT_EQ(S_OK, OpenBytes(unfinished));
}

TEST_F(AsfFileCheckTest, HeaderObjectSizesOutOfRangeAreRefused)
{
    auto withU64 = [&](size_t offset, uint64_t value) {
        std::vector<char> bytes = original;
        for (int i = 0; i < 8; ++i)
            bytes[offset + size_t(i)] = char(value >> (8 * i));
        return bytes;
    };
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(16, 0)));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(16, original.size() * 2)));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(16, ~uint64_t(0))));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(16, headerSize - 1)));
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(30 + 16, 0)));          // first child
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(30 + 16, headerSize))); // too big
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, OpenBytes(withU64(headerSize + 16, original.size())));
    ExpectStillUsable();
}

// Seeded mutations of the header and the start of the data: bytes overwritten, bits flipped,
// the file cut. Every open either fails with NS_E_INVALID_INPUT_FORMAT or gives a header that
// can be read, edited and flushed.
TEST_F(AsfFileCheckTest, MutatedHeadersFailCleanly)
{
    const size_t span = std::min<size_t>(original.size(), size_t(headerSize) + 64);
    int refused = 0, opened = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<char> bytes = original;
        const int mutations = 1 + int(random() % 6);
        for (int m = 0; m < mutations && !bytes.empty(); ++m) {
            const size_t at = random() % std::min(span, bytes.size());
            switch (random() % 8) {
            case 0:
                bytes.resize(at);
                break;
            case 1:
            case 2:
                bytes[at] = char(bytes[at] ^ (1 << (random() % 8)));
                break;
            default:
                bytes[at] = char(random());
                break;
            }
        }
        const HRESULT hr = OpenBytes(bytes);
        if (FAILED(hr)) {
            EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, hr);
            ++refused;
            continue;
        }
        ++opened;
        WORD stream = 0, length = 0, count = 0;
        WMT_ATTR_DATATYPE type{};
        const HRESULT read = header->GetAttributeByName(&stream, u"Title", &type, nullptr, &length);
        EXPECT_TRUE(read == S_OK || read == ASF_E_NOTFOUND);
        EXPECT_EQ(S_OK, header->GetAttributeCount(0, &count));
        const char16_t title[] = u"Mutated";
        EXPECT_EQ(S_OK, header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                             reinterpret_cast<const BYTE*>(title), 14));
        const HRESULT flushed = editor->Flush();
        EXPECT_TRUE(flushed == S_OK || flushed == HRESULT_FROM_WIN32(ERROR_WRITE_FAULT))
            << std::hex << flushed;
        EXPECT_EQ(S_OK, editor->Close());
    }
    EXPECT_GT(refused, 0);
    ExpectStillUsable();
}
