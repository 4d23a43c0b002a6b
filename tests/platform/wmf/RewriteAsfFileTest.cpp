// Saving header edits safely, through the metadata editor on real clips: the file's size in
// the header follows each edit and the audio stays byte for byte; a disk too full for the new
// file, or a kill at any moment, leaves the old clip or the new one, never a mix; the file keeps
// its permissions and its links; named pipes are refused without waiting.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "SmallFileSystem.h"
#include "TempFolder.h"
#include "Watchdog.h"
#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/Wmf.h"

using namespace wmftest;

namespace {

// The file properties object as stored: its GUID, then size QWORD, file id GUID, file size QWORD.
constexpr unsigned char kFilePropertiesId[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

std::vector<char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint64_t ReadU64(const std::vector<char>& bytes, size_t offset)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[offset + size_t(i)]);
    return value;
}

uint64_t HeaderSize(const std::vector<char>& bytes)
{
    return bytes.size() >= 24 ? ReadU64(bytes, 16) : 0;
}

// The file size that the header records, or 0 when it has no file properties object.
uint64_t RecordedFileSize(const std::vector<char>& bytes)
{
    const uint64_t headerSize = HeaderSize(bytes);
    for (uint64_t offset = 30; offset + 48 <= headerSize && offset + 48 <= bytes.size();) {
        const uint64_t size = ReadU64(bytes, size_t(offset) + 16);
        if (memcmp(&bytes[size_t(offset)], kFilePropertiesId, 16) == 0)
            return ReadU64(bytes, size_t(offset) + 40);
        if (size < 24)
            break;
        offset += size;
    }
    return 0;
}

// Everything after the header object: the audio and its index.
std::vector<char> AfterHeader(const std::vector<char>& bytes)
{
    const uint64_t headerSize = HeaderSize(bytes);
    if (headerSize > bytes.size())
        return {};
    return {bytes.begin() + std::ptrdiff_t(headerSize), bytes.end()};
}

// Sets (or, with an empty value, removes) the title in a fresh editor and saves it.
HRESULT SaveTitle(const std::string& path, const std::u16string& title)
{
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo3> header;
    HRESULT hr = WMCreateEditor(&editor);
    if (SUCCEEDED(hr))
        hr = editor->Open(U16(path).c_str());
    if (SUCCEEDED(hr))
        hr = editor.As(&header);
    if (SUCCEEDED(hr) && title.empty()) {
        WORD indices[8];
        WORD count = 8;
        hr = header->GetAttributeIndices(0, u"Title", nullptr, indices, &count);
        for (WORD i = count; SUCCEEDED(hr) && i > 0; --i)
            hr = header->DeleteAttribute(0, indices[i - 1]);
    } else if (SUCCEEDED(hr)) {
        hr = header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                  reinterpret_cast<const BYTE*>(title.c_str()),
                                  WORD(title.size() * 2));
    }
    if (SUCCEEDED(hr))
        hr = editor->Flush();
    if (editor)
        editor->Close();
    return hr;
}

// The title that a fresh editor reads, "(unreadable)" when the file does not open.
std::u16string TitleOf(const std::string& path)
{
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
    if (FAILED(WMCreateEditor(&editor)) || FAILED(editor->Open(U16(path).c_str())) ||
        FAILED(editor.As(&header)))
        return u"(unreadable)";
    WORD stream = 0;
    WMT_ATTR_DATATYPE type{};
    std::vector<BYTE> value(65535);
    WORD length = WORD(value.size());
    if (header->GetAttributeByName(&stream, u"Title", &type, value.data(), &length) != S_OK)
        return u"";
    return std::u16string(reinterpret_cast<const char16_t*>(value.data()), length / 2 - 1);
}

// Names in a folder other than the clip's own.
std::vector<std::string> OtherEntries(const std::filesystem::path& folder, const std::string& clip)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != clip)
            names.push_back(entry.path().filename().string());
    return names;
}

std::u16string LongTitle(size_t characters)
{
    std::u16string title;
    while (title.size() < characters)
        title += u"A long title that makes the header grow well past its old size. ";
    title.resize(characters);
    return title;
}

class RewriteAsfFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clip = folder / "clip.wma";
        ASSERT_TRUE(MakeWmaClip(clip, 3)) << "ffmpeg could not make the test clip";
        original = ReadAll(clip);
        decodedBefore = DecodedBytes(clip);
        durationBefore = Probe(clip, "-show_format")["duration"];
        ASSERT_GT(decodedBefore, 0u);
        ASSERT_FALSE(durationBefore.empty());
    }

    // The clip as a player that trusts its header sees it, after an edit.
    void ExpectWholeClip(const std::string& path, const std::string& when)
    {
        const std::vector<char> bytes = ReadAll(path);
        EXPECT_EQ(bytes.size(), RecordedFileSize(bytes)) << when;
        EXPECT_TRUE(AfterHeader(bytes) == AfterHeader(original)) << when << ": audio changed";
        EXPECT_EQ(durationBefore, Probe(path, "-show_format")["duration"]) << when;
        EXPECT_EQ(decodedBefore, DecodedBytes(path)) << when;
    }

    TempFolder folder;
    std::string clip;
    std::vector<char> original;
    size_t decodedBefore = 0;
    std::string durationBefore;
};

} // namespace

TEST_F(RewriteAsfFileTest, EditsKeepTheRecordedFileSizeAndTheAudio)
{
    ASSERT_EQ(RecordedFileSize(original), original.size()) << "ffmpeg's own clip";
    ASSERT_EQ(S_OK, SaveTitle(clip, LongTitle(20000)));
    EXPECT_EQ(LongTitle(20000), TitleOf(clip));
    EXPECT_GT(HeaderSize(ReadAll(clip)), HeaderSize(original) + 40000);
    ExpectWholeClip(clip, "after a long title");

    ASSERT_EQ(S_OK, SaveTitle(clip, u"Short"));
    EXPECT_EQ(u"Short", TitleOf(clip));
    ExpectWholeClip(clip, "after a short title");

    ASSERT_EQ(S_OK, SaveTitle(clip, u""));
    EXPECT_EQ(u"", TitleOf(clip));
    ExpectWholeClip(clip, "after removing the title");
    EXPECT_TRUE(OtherEntries(folder.Path(), "clip.wma").empty()) << "no temporary file stays";
}

TEST_F(RewriteAsfFileTest, AnEditThatDoesNotFitLeavesTheClipByteForByte)
{
    constexpr uint64_t kPage = 4096;
    const uint64_t clipPages = (original.size() + kPage - 1) / kPage;
    // Room for the clip and one copy of it with a small header change, not for a 60 KB title.
    SmallFileSystem disk((2 * clipPages + 3) * kPage);
    std::string path;
    HRESULT expected = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    std::unique_ptr<ProcessFileSizeLimit> limit;
    if (disk.Mounted()) {
        path = disk / "clip.wma";
        std::filesystem::copy_file(clip, path);
    } else {
        path = clip;
        limit = std::make_unique<ProcessFileSizeLimit>(original.size() + 3 * kPage);
        if (!limit->Active())
            GTEST_SKIP() << "this process may neither mount a small tmpfs nor lower its file "
                            "size limit, so a full disk cannot be made";
        expected = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
    }
    const std::filesystem::path folderOfClip = std::filesystem::path(path).parent_path();

    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
    ASSERT_EQ(S_OK, WMCreateEditor(&editor));
    ASSERT_EQ(S_OK, editor->Open(U16(path).c_str()));
    ASSERT_EQ(S_OK, editor.As(&header));
    const std::u16string title = LongTitle(30000);
    ASSERT_EQ(S_OK, header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                         reinterpret_cast<const BYTE*>(title.c_str()),
                                         WORD(title.size() * 2)));
    EXPECT_EQ(expected, editor->Flush());
    EXPECT_TRUE(ReadAll(path) == original) << "the clip changed";
    EXPECT_TRUE(OtherEntries(folderOfClip, "clip.wma").empty()) << "the temporary file stays";

    // The editor is still open and saves what fits.
    const std::u16string shortTitle = u"Fits";
    ASSERT_EQ(S_OK, header->SetAttribute(0, u"Title", WMT_TYPE_STRING,
                                         reinterpret_cast<const BYTE*>(shortTitle.c_str()),
                                         WORD(shortTitle.size() * 2)));
    EXPECT_EQ(S_OK, editor->Flush());
    EXPECT_EQ(S_OK, editor->Close());
    limit.reset();
    EXPECT_EQ(shortTitle, TitleOf(path));
    ExpectWholeClip(path, "after the edit that fits");
}

TEST_F(RewriteAsfFileTest, KilledEditsLeaveTheOldOrTheNewClip)
{
    const std::u16string oldTitle = u"Old title";
    const std::u16string newTitle = LongTitle(12000);
    ASSERT_EQ(S_OK, SaveTitle(clip, oldTitle));
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMs(0, 60);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 30; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Only the editor runs here: no gtest, no COM runtime, nothing but the saves.
            for (int i = 0;; ++i)
                if (FAILED(SaveTitle(clip, i % 2 ? oldTitle : newTitle)))
                    _exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << "the editing child failed with " << status;

        const std::u16string title = TitleOf(clip);
        ASSERT_TRUE(title == oldTitle || title == newTitle)
            << "round " << round << ": the clip reads as \"" << U8(title.substr(0, 40)) << "\"";
        (title == oldTitle ? sawOld : sawNew)++;
        const std::vector<char> bytes = ReadAll(clip);
        ASSERT_EQ(bytes.size(), RecordedFileSize(bytes)) << "round " << round;
        ASSERT_TRUE(AfterHeader(bytes) == AfterHeader(original)) << "round " << round;
        ASSERT_EQ(decodedBefore, DecodedBytes(clip)) << "round " << round;
        // A kill may leave its temporary file, hidden beside the clip; never anything else.
        for (const std::string& name : OtherEntries(folder.Path(), "clip.wma"))
            EXPECT_EQ(0u, name.rfind(".clip.wma.", 0)) << name;
    }
    RecordProperty("old", sawOld);
    RecordProperty("new", sawNew);
}

TEST_F(RewriteAsfFileTest, PermissionsOwnerAndLinksSurviveAnEdit)
{
    ASSERT_EQ(0, chmod(clip.c_str(), 0640));
    const std::string link = folder / "link.wma";
    std::filesystem::create_symlink(clip, link);
    struct stat before
    {
    };
    ASSERT_EQ(0, stat(clip.c_str(), &before));

    ASSERT_EQ(S_OK, SaveTitle(link, u"Through the link"));
    struct stat entry
    {
    };
    ASSERT_EQ(0, lstat(link.c_str(), &entry));
    EXPECT_TRUE(S_ISLNK(entry.st_mode)) << "the link was replaced by a file";
    ASSERT_EQ(0, stat(clip.c_str(), &entry));
    EXPECT_EQ(0640u, entry.st_mode & 07777);
    EXPECT_EQ(before.st_uid, entry.st_uid);
    EXPECT_EQ(before.st_gid, entry.st_gid);
    EXPECT_EQ(u"Through the link", TitleOf(clip));
    ExpectWholeClip(clip, "after an edit through a link");
}

TEST_F(RewriteAsfFileTest, NamedPipesAreRefusedWithoutWaiting)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(S_OK, WMCreateEditor(&editor));
    HRESULT hr = S_OK;
    EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(5), fifo, [&] {
        hr = editor->Open(U16(fifo).c_str());
    })) << "opening a named pipe waited for a writer";
    EXPECT_EQ(NS_E_INVALID_INPUT_FORMAT, hr);
    // Still usable afterwards.
    EXPECT_EQ(S_OK, editor->Open(U16(clip).c_str()));
    EXPECT_EQ(S_OK, editor->Close());
}
